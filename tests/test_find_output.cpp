// Find and Find again in the output pane, driven through the Find in Output dialog as the user would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/find_output.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/dialog_steps.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

std::string offered;

// Notes what the dialog offers, types text (unless null), clicks, and leaves as Leave does (Escape first: an OK after
// it still searches).
Step Dialog(const char* text, std::vector<int> clicks = {}, int button = IDC_FIND_OK)
{
    return [=](HWND dialog) {
        offered.append("[").append(WindowText(GetDlgItem(dialog, IDC_FIND_TEXT)));
        offered.append(IsDlgButtonChecked(dialog, IDC_FIND_MATCH_CASE) ? "] case" : "]");
        offered.append(IsDlgButtonChecked(dialog, IDC_FIND_WHOLE_WORD) ? " word\n" : "\n");
        if (text)
            SetDlgItemTextA(dialog, IDC_FIND_TEXT, text);
        Leave(dialog, button, clicks);
    };
}

// Each action: the step for the dialog it opens (none: Find again), and the windows met, what the dialog offered and
// the selection afterwards.
void Play(const char* text, const std::vector<std::pair<Step, std::string>>& actions)
{
    StartTestProgram({true, false});
    AppendText(text);
    CHARRANGE selection = {0, 0};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    for (const auto& [step, expected] : actions) {
        offered.clear();
        SetSteps({step});
        (step ? FindInOutput : FindAgain)(ShellHandles.mainWindow);
        SendMessageA(OutputWindow, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        EXPECT_EQ(SeenWindows() + offered + std::to_string(selection.cpMin) + "," + std::to_string(selection.cpMax),
                  expected);
    }
    StopTestProgram();
}

TEST(FindInOutput, MatchesOverlapNeverWrapAndOnlyTheDialogStartsAgainWithTheOptionsItRemembers)
{
    const std::string dialog = "Find in Output|\n", missing = "Find in Output|\"aa\" not found.\n";
    Play("aaaa", {{nullptr, dialog + "0,0"},  // before any search, the dialog, closed here
                  {Dialog("aa", {}, IDC_FIND_CANCEL), dialog + "[]\n0,0"},
                  {Dialog("aa"), dialog + "[]\n0,2"},
                  {nullptr, "1,3"},
                  {nullptr, "2,4"},
                  {nullptr, missing + "2,4"},
                  {nullptr, missing + "2,4"},
                  {Dialog(nullptr), dialog + "[aa]\n0,2"},
                  {Dialog("zz", {}, IDC_FIND_CANCEL), dialog + "[aa]\n0,2"},
                  {nullptr, "1,3"}});
    Play("Word sword word Words word",
         {{Dialog("word", {IDC_FIND_WHOLE_WORD}), dialog + "[]\n0,4"},
          {nullptr, "11,15"},
          {nullptr, "22,26"},
          {Dialog(nullptr, {IDC_FIND_MATCH_CASE}), dialog + "[word] word\n11,15"},
          {Dialog("Word", {IDC_FIND_WHOLE_WORD}), dialog + "[word] case word\n0,4"},
          {nullptr, "16,20"},
          {nullptr, "Find in Output|\"Word\" not found.\n16,20"},
          {Dialog("WORDS", {IDC_FIND_MATCH_CASE, IDC_FIND_WHOLE_WORD}), dialog + "[Word] case\n16,21"}});
    // A new pane forgets the text and the search, not the options.
    Play("Word", {{Dialog(nullptr, {}, 0), dialog + "[] word\n0,0"}});
}

}
