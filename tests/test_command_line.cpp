// The command-line switches and the bad-switch box.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entries/finger_entry.h"
#include "shell/command_line.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override { owner = CreateTestMainWindow(); }
    void TearDown() override
    {
        DestroyWindow(owner);
        ShellHandles.mainWindow = nullptr;
    }

    HWND owner = nullptr;
};

TEST_F(CommandLineTest, SwitchWordsSetTheirBitsAndUnknownWordsAreShownAsWritten)
{
    const std::string longest(255, 'w');
    const std::string mailAndLongest = "mail " + longest;
    const std::string overlong = "mail" + std::string(296, 'x') + " status";
    const struct {
        const char* line;
        uint32_t switches;  // when the line is accepted
        std::string shown;  // the unknown word shown, "" when accepted
    } cases[] = {
        {"MAIL Group2", FE_GROUP_MAIL | FE_GROUP_2, ""},
        {"mail status group1 group2 group3 exitwhenidle", FE_ALL_GROUPS | SWITCH_EXIT_WHEN_IDLE, ""},
        {"ExitWhenIdle", SWITCH_EXIT_WHEN_IDLE, ""},
        {"mail mail", FE_GROUP_MAIL, ""},
        // Blanks around and between words are skipped and make no empty word.
        {"   status     group3", FE_GROUP_STATUS | FE_GROUP_3, ""},
        {"group1   ", FE_GROUP_1, ""},
        {"     ", 0, ""},
        {"", 0, ""},
        {nullptr, 0, ""},
        {"/mail", 0, "/mail"},
        {"-status", 0, "-status"},
        // Only the first unknown word is reported; tabs belong to the word.
        {"mail bogus other", 0, "bogus"},
        {"mail\tstatus", 0, "mail\tstatus"},
        {"\tmail", 0, "\tmail"},
        // A word of 255 characters is shown whole; past that the box shows the
        // first 255 and marks the cut, even when the word begins like a switch.
        {mailAndLongest.c_str(), 0, longest},
        {overlong.c_str(), 0, overlong.substr(0, 255) + "..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "(null)");
        BoxAnswerer answerer("", IDOK);
        StartupSwitches = 0xDEADBEEF;
        const int result = ParseCommandLine(owner, c.line);
        std::vector<AnsweredBox> boxes = AnsweredBoxes();
        if (c.shown.empty()) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(StartupSwitches, c.switches);
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        EXPECT_EQ(result, 1);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Ombrelane Bad Switch");
        EXPECT_EQ(boxes[0].text, "Ombrelane doesn't know what \"" + c.shown + "\" means.");
        EXPECT_EQ(boxes[0].owner, owner);
    }
}

}
