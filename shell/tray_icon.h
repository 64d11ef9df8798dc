// The icon in the taskbar notification area.
#pragma once

#include <windows.h>
#include <shellapi.h>

// Tray image (0-2) for each of the 16 states: frame + 4 x busy + 8 x notifying.
extern const int TrayIconTable[16];
// Animation frame 0-3, advanced once a second by the main window's timer.
extern int TrayFrame;

// The tray image the icon shows now (from the frame, JS_BUSY and the open
// change notifications).
int CurrentTrayImage();
void AdvanceTrayFrame();
// Fills the icon record the shell is given: the main window, the icon id, the
// current image and the given NIF_ flags; with NIF_MESSAGE the callback
// message, with NIF_TIP the first 63 characters of the status text.
NOTIFYICONDATAA* FillTrayIconData(UINT flags);
void TrayReset();
void TrayAdd();
void TrayUpdate();
void TrayRemove();
bool TrayIconAdded();
// The tray icon's callback message: wParam the icon id, lParam the mouse message.
void TrayCallback(WPARAM wParam, LPARAM lParam);
