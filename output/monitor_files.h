// Monitor files: the last answer of every entry, and change notification.
#pragma once

#include <windows.h>
#include <cstdint>
#include "../entries/finger_entry.h"

// Drive and folder of the program file, ending with a backslash.
extern char ProgramFolder[PATH_SIZE];
// ProgramFolder followed by "Monitor", without a trailing backslash.
extern char MonitorFolder[PATH_SIZE];

// Two blocks of Settings.maxAllocSize + 16 bytes each, made by SetUpPaths.
// AnswerBuffer is the task thread's: the finger client receives into it.
// CompareBuffer is where a monitor file is read back, by the task thread
// (comparison) and by the main thread (viewing); hold LockCompareBuffer while
// using it.
extern char* AnswerBuffer;
extern char* CompareBuffer;

// Number of change-notification windows open (read by the tray icon).
extern uint32_t OpenNotificationCount;
// Number of change beeps sounded so far, counted next to each beep.
extern uint32_t ChangeBeepCount;

// Start-up: program and monitor folders (the folder is made if missing), the
// default log path, the optional clearing of the log and the two buffers.
// Returns 1 on success, 0 on failure (start-up must then end).
int SetUpPaths();
// Returns 1 when the monitor folder exists as a folder or was made, 0 after
// reporting that it could not be made.
int CreateMonitorFolder();
// Releases the two buffers at shutdown. While the task thread still runs (the
// program is leaving without waiting for it) they are left to the end of the
// process instead, since a job may still be writing into them. It tells that
// from the job queue, so it must come before ReleaseJobMutexes.
void FreeAnswerBuffers();

// Waits for (and releases) the right to use CompareBuffer. Waiting handles
// messages sent to this thread's windows, so the main thread can never
// deadlock against the task thread. Lock order: before OutputMutex.
void LockCompareBuffer();
void UnlockCompareBuffer();
// Reads an open file into CompareBuffer (the caller holds the lock): at most
// the answer size, with a NUL after the bytes. Returns the bytes read, or -1
// when the read failed or there is no buffer. larger, when given, tells
// whether the file holds more than was read.
long ReadIntoCompareBuffer(HANDLE file, bool* larger = nullptr);

// Writes "<MonitorFolder>\<monitorFile>" into path. Returns 0, or 1 when it
// does not fit into size bytes (path is then empty).
int MonitorFilePath(const FingerEntry* entry, char* path, int size);

// Task thread, after a finger answer: logs it when the entry logs, compares it
// with the monitor file when the entry asks for notification (marking the
// entry changed when it differs) and stores it as the entry's monitor file.
// Temporary entries are only logged. Returns 0, or 1 when the file could not
// be stored (reported; the previous file is then left as it was).
int UpdateMonitorFile(FingerEntry* entry, const char* answer, uint32_t length);

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

// Start-up, after SetUpPaths: gives entries without a usable monitor name a
// new one and renames the ".txt" monitor files of older versions to ".htm".
// Returns 0.
int MigrateMonitorFiles();
