// Find and Find again in the output pane, driven through the Find in Output dialog as the user would.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "output/find_output.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

using Step = std::function<void(HWND)>;
Step dialogStep;  // acts once on the next dialog
std::set<HWND> handled;
std::string seen;

// Notes what the dialog offers, types text (unless null), clicks, presses Escape (an OK after it still searches),
// and leaves with a button (0: the close box).
Step Dialog(const char* text, std::vector<int> clicks = {}, int button = IDC_FIND_OK)
{
    return [=](HWND dialog) {
        seen += '[';
        seen += WindowText(GetDlgItem(dialog, IDC_FIND_TEXT));
        seen += IsDlgButtonChecked(dialog, IDC_FIND_MATCH_CASE) ? "] case" : "]";
        seen += IsDlgButtonChecked(dialog, IDC_FIND_WHOLE_WORD) ? " word\n" : "\n";
        if (text)
            SetDlgItemTextA(dialog, IDC_FIND_TEXT, text);
        for (int id : clicks)
            SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        if (button)
            SendDlgItemMessageA(dialog, button, BM_CLICK, 0, 0);
        else
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    };
}

// A box that becomes active is noted and answered OK; the dialog gets the step (none: noted, then closed).
void CALLBACK AnswerWindows(HWND, UINT, UINT_PTR, DWORD)
{
    HWND active = GetActiveWindow();
    if (!active || !IsWindowVisible(active) || !handled.insert(active).second)
        return;
    if (HWND text = GetDlgItem(active, 0xFFFF)) {
        seen += WindowText(active) + "|" + WindowText(text) + "\n";
        PostMessageA(active, WM_COMMAND, IDOK, 0);
    } else {
        (dialogStep ? std::exchange(dialogStep, nullptr) : Dialog(nullptr, {}, 0))(active);
    }
}

// Each action: the step for the dialog it opens (none: Find again), and what was met, with the selection afterwards.
void Play(const char* text, const std::vector<std::pair<Step, std::string>>& actions)
{
    StartTestProgram({true, false});
    AppendText(text);
    CHARRANGE selection = {0, 0};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    for (const auto& [step, expected] : actions) {
        seen.clear();
        handled.clear();
        dialogStep = step;
        (step ? FindInOutput : FindAgain)(ShellHandles.mainWindow);
        SendMessageA(OutputWindow, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        EXPECT_EQ(seen + std::to_string(selection.cpMin) + "," + std::to_string(selection.cpMax), expected);
    }
    StopTestProgram();
}

TEST(FindInOutput, MatchesOverlapNeverWrapAndOnlyTheDialogStartsAgainWithTheOptionsItRemembers)
{
    SetTimer(nullptr, 0, 20, AnswerWindows);
    const std::string missing = "Find in Output|\"aa\" not found.\n";
    Play("aaaa", {{nullptr, "[]\n0,0"},  // before any search, the dialog, closed here
                  {Dialog("aa", {}, IDC_FIND_CANCEL), "[]\n0,0"},
                  {Dialog("aa"), "[]\n0,2"},
                  {nullptr, "1,3"},
                  {nullptr, "2,4"},
                  {nullptr, missing + "2,4"},
                  {nullptr, missing + "2,4"},
                  {Dialog(nullptr), "[aa]\n0,2"},
                  {Dialog("zz", {}, IDC_FIND_CANCEL), "[aa]\n0,2"},
                  {nullptr, "1,3"}});
    Play("Word sword word Words word",
         {{Dialog("word", {IDC_FIND_WHOLE_WORD}), "[]\n0,4"},
          {nullptr, "11,15"},
          {nullptr, "22,26"},
          {Dialog(nullptr, {IDC_FIND_MATCH_CASE}), "[word] word\n11,15"},
          {Dialog("Word", {IDC_FIND_WHOLE_WORD}), "[word] case word\n0,4"},
          {nullptr, "16,20"},
          {nullptr, "Find in Output|\"Word\" not found.\n16,20"},
          {Dialog("WORDS", {IDC_FIND_MATCH_CASE, IDC_FIND_WHOLE_WORD}), "[Word] case\n16,21"}});
    // A new pane forgets the text and the search, not the options.
    Play("Word", {{nullptr, "[] word\n0,0"}});
}

}
