// Message pumps and the one automatic answerer of message boxes and dialogs, for tests that drive windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Runs this thread's message loop until done() (tested first and at least every
// 10 ms) is true or timeoutMs have passed; returns whether it came true.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

struct AnsweredBox {  // what the answerer saw of one box or dialog when it was activated
    std::string caption;
    std::string text;  // a message box's text (its static control 0xFFFF), else ""
};

// Answers every box or dialog of this process, on any of its threads, whose caption equals caption
// (any caption when empty), while the calling thread runs a message loop (a box's own modal loop
// counts): it records the box and posts WM_COMMAND with buttonId; a box without that button gets
// its OK or Yes for an accepting buttonId, its Cancel or No for IDCANCEL and IDNO (so one answer
// serves a question, a file dialog and the closing message). A box with
// another caption is recorded too and cancelled, with IDCANCEL and WM_CLOSE (dialogs that ignore
// Escape close), so a test never hangs on it. Replaces an earlier answerer.
void AnswerBoxes(const char* caption, int buttonId);

// Stops answering; what was recorded stays until the next AnswerBoxes.
void StopAnsweringBoxes();

// What was recorded since AnswerBoxes, oldest first (safe from any thread).
std::vector<AnsweredBox> AnsweredBoxes();

// The text of a window (GetWindowTextA), up to 4095 characters.
std::string WindowText(HWND window);
