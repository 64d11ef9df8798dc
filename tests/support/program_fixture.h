// Brings up the parts of the program a test needs: a stand-in main window,
// the output pane, default settings and the task thread; and takes them down.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "entries/finger_entry.h"

struct TestProgramOptions {
    bool simulate = true;  // clear OPT_NETWORK: jobs produce simulated answers; else Winsock is started
    bool startTaskThread = true;
    bool paths = false;  // set up the program folder and its Monitor folder
};

// False when Winsock or the paths could not be set up.
bool StartTestProgram(const TestProgramOptions& options = {});
// Requests shutdown, waits for the task thread to end, stops Winsock and frees everything.
void StopTestProgram();

bool WaitForJobsDone(DWORD timeoutMs = 10000);

// A listed entry with the defaults of a new entry and the given texts.
FingerEntry* AddTestEntry(const char* description, const char* address, uint32_t flags = 0);
void FreeAllEntries();

// The pane's text with LF line ends, up to its first NUL; PaneBytes: every byte as the control reports it.
std::string PaneText();
std::string PaneBytes();
// The path of the entry's monitor file, "" when it has none.
std::string MonitorPath(const FingerEntry* entry);
// "caption: text" of every box answered since AnswerBoxes, one a line.
std::string BoxTexts();
std::string ReadWholeFile(const std::string& path);
std::string TempFolder();
