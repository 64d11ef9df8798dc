#include "support/dialog_steps.h"

#include <gtest/gtest.h>

#include "support/test_windows.h"

namespace {

std::deque<Step> steps;
std::string seen;

// A window keeps the mark until it is destroyed, so a later window with a reused handle still gets its step.
constexpr char MET[] = "OmbrelaneStepMet";

void CALLBACK RunNextStep(HWND, UINT, UINT_PTR, DWORD)
{
    HWND active = GetActiveWindow();
    // A dialog becomes active before its modal loop shows it; the test's main window is never shown.
    if (!IsWindowVisible(active) || GetPropA(active, MET))
        return;
    SetPropA(active, MET, active);
    HWND text = GetDlgItem(active, 0xFFFF);
    seen += WindowText(active) + "|" + (text ? WindowText(text) : "") + "\n";
    Step step;
    if (!steps.empty()) {
        step = std::move(steps.front());
        steps.pop_front();
    }
    if (step) {
        step(active);
        return;
    }
    PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(active, WM_CLOSE, 0, 0);
}

}

void SetSteps(std::deque<Step> script)
{
    static const UINT_PTR timer = SetTimer(nullptr, 0, 20, RunNextStep);
    EXPECT_NE(timer, 0u);
    steps = std::move(script);
    seen.clear();
}

const std::string& SeenWindows()
{
    return seen;
}

Step Press(int id)
{
    return [id](HWND window) { PostMessageA(window, WM_COMMAND, id, 0); };
}

void Click(HWND dialog, const std::vector<int>& ids)
{
    for (int id : ids)
        SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

void Leave(HWND dialog, int button, const std::vector<int>& clicks)
{
    Click(dialog, clicks);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
    if (button)
        Click(dialog, {button});
    else
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}
