// Status bar texts: the program's state, the running finger's progress and
// the number of queued jobs.
#pragma once

#include <windows.h>

constexpr int STATUS_TIP_SIZE = 256;
extern char StatusTipCopy[STATUS_TIP_SIZE];
extern volatile LONG StatusDirty;

// Puts text into a part (0-2) of the status bar; part 0 is also kept in
// StatusTipCopy for the tray tip. Safe on either thread: from another thread
// the text reaches the bar at the main thread's next idle point.
LRESULT SetStatusText(int part, const char* text);
// Asks for a refresh at the main thread's next idle point.
void MarkStatusDirty();
// Main thread: puts in the texts set on other threads, and refreshes the
// status bar if a refresh has been asked for.
void RefreshStatusIfDirty();
// Main thread: refreshes parts 0 and 2.
void UpdateStatusBar();
// The part-0 text for the current state; valid until the next call.
const char* MainStatusText();
// The countdown text for a wait of seconds until the named entry is due,
// e.g. "Next auto finger in 2 hours, 2 minutes (Mail)".
void FormatCountdown(char* buffer, int size, long seconds, const char* description);
