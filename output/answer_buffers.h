// The program's folders, the monitor file paths and the compare buffer.
#pragma once

#include <windows.h>
#include "entries/finger_entry.h"

// Drive and folder of the program file, ending with a backslash.
extern char ProgramFolder[PATH_SIZE];
// ProgramFolder followed by "Monitor", without a trailing backslash.
extern char MonitorFolder[PATH_SIZE];

// A block of Settings.maxAllocSize + 16 bytes, made by SetUpPaths, where a
// monitor file is read back, by the task thread (comparison) and by the main
// thread (viewing); hold LockCompareBuffer while using it. (Answers are
// received into buffers of the fetches that receive them.)
extern char* CompareBuffer;

// Start-up: program and monitor folders (the folder is made if missing), the
// default log path, the optional clearing of the log and the compare buffer.
// Returns 0, or 1 on failure (start-up must then end).
int SetUpPaths();
// Returns 0 when the monitor folder exists as a folder or was made, 1 after
// reporting that it could not be made.
int CreateMonitorFolder();
// Releases the compare buffer at shutdown. While the task thread still runs
// (the program is leaving without waiting for it) it is left to the end of
// the process instead, since a job may still be reading a file into it.
void FreeAnswerBuffers(bool taskThreadRunning);

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
