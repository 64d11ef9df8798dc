// The windows that tell the user an entry's answer has changed.
#pragma once

#include <windows.h>
#include <cstdint>
#include "entries/finger_entry.h"

// Number of change-notification windows open (read by the tray icon).
extern uint32_t OpenNotificationCount;
// Number of change beeps sounded so far, counted next to each beep.
extern uint32_t ChangeBeepCount;

// Main thread, idle work after every message: opens the notification of every
// entry whose answer changed, and beeps once for each.
void NotifyChangedEntries();
// Opens the entry's notification window unless one is already open.
void ShowChangeNotification(FingerEntry* entry);
// Closes the entry's notification window if it has one (used when the entry
// goes away).
void CloseChangeNotification(FingerEntry* entry);
// Offers a message of the main loop to the open notification windows; true
// when one of them handled it.
bool IsNotificationMessage(MSG* message);
INT_PTR CALLBACK ChangeNotificationProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
