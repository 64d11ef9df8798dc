// The log file of finger answers.
#pragma once

#include <windows.h>
#include <cstdint>

// The log's name when the user has chosen none; it lies beside the program.
constexpr const char LOG_FILE_NAME[] = "Ombrelane Log.txt";

// Appends exactly the given bytes to Settings.logFile while logging is on.
// Safe from any thread; a log that cannot be opened drops the piece silently.
void AppendToLog(const char* text, uint32_t length);
// Opens the log with the program associated with its file type.
void ViewLog(HWND owner);
// Deletes the log; the result is not reported.
void ClearLog();
// The Clear Log command: asks first, then clears.
void ClearLogCommand();
