// Drives the modal dialogs and message boxes of the test's thread step by step, as the user would.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Each dialog or box that becomes active gets the next step, once, while the thread runs a message loop (a modal
// loop counts); with no step left, or an empty one, it is cancelled and closed, so a test never hangs on it.
using Step = std::function<void(HWND)>;

// Replaces the steps and forgets the windows seen.
void SetSteps(std::deque<Step> steps);

// A line "caption|message text" for every window met since SetSteps (the text is empty for a dialog).
const std::string& SeenWindows();

// Posts a command: a box's answer or a dialog's button.
Step Press(int id);

// Clicks the buttons in order; a dialog or box one of them opens gets its step meanwhile.
void Click(HWND dialog, const std::vector<int>& ids);

// Clicks the buttons, presses Escape, which must leave the dialog open, and leaves with a button or, when it is 0,
// with the close box.
void Leave(HWND dialog, int button, const std::vector<int>& clicks = {});
