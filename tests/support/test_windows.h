// Helpers for tests that drive windows: message pumps and the one automatic
// answerer for the program's message boxes and dialogs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Runs this thread's message loop for ms milliseconds, sleeping while no
// message is waiting.
void PumpMessagesFor(DWORD ms);

// Runs this thread's message loop until done() is true or timeoutMs have
// passed; returns the last result of done(). done() is tested before the
// first message and at least every 10 ms.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// One child control of an answered box, in z-order.
struct BoxControl {
    int id;
    std::string className;
    std::string text;
};

// What the answerer saw of one message box or dialog when it was activated.
struct AnsweredBox {
    HWND window;
    HWND owner;               // GetWindow(window, GW_OWNER)
    std::string caption;
    std::string text;         // a message box's text (its static control 0xFFFF), else ""
    std::vector<BoxControl> controls;
    bool matched;             // the caption matched; false: closed with IDCANCEL
    int buttonId;             // the WM_COMMAND id posted to it
};

// Answers every box or dialog of this process, on any of its threads, whose
// caption equals caption (any caption when empty), while the calling thread
// runs a message loop (a box's own modal loop counts): it records the box and
// posts WM_COMMAND with the next id of buttonIds (the last one is repeated
// once the list is used up). A box with another caption is recorded too, as
// not matched, and closed with IDCANCEL so a test never hangs on it. Replaces
// an earlier answerer.
void AnswerBoxes(const char* caption, std::vector<int> buttonIds);
void AnswerBoxes(const char* caption, int buttonId);

// Stops answering; what was recorded stays until the next AnswerBoxes.
void StopAnsweringBoxes();

// What was recorded since AnswerBoxes, oldest first (safe from any thread).
std::vector<AnsweredBox> AnsweredBoxes();
int AnsweredBoxCount();

// Stops answering when it goes out of scope.
struct BoxAnswerer {
    BoxAnswerer(const char* caption, int buttonId) { AnswerBoxes(caption, buttonId); }
    BoxAnswerer(const char* caption, std::vector<int> buttonIds) { AnswerBoxes(caption, std::move(buttonIds)); }
    ~BoxAnswerer() { StopAnsweringBoxes(); }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
};

// The text of a window (GetWindowTextA / WM_GETTEXT), up to 4095 characters.
std::string WindowText(HWND window);
