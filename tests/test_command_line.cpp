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

constexpr char BAD_SWITCH_TITLE[] = "Ombrelane Bad Switch";

std::string BadSwitchText(const std::string& word)
{
    return "Ombrelane doesn't know what \"" + word + "\" means.";
}

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override { owner = CreateTestMainWindow(); }
    void TearDown() override
    {
        DestroyWindow(owner);
        ShellHandles.mainWindow = nullptr;
    }

    // Parses the line while answering every box; returns the boxes seen.
    std::vector<AnsweredBox> Parse(const char* line, int expectedResult)
    {
        BoxAnswerer answerer("", IDOK);
        StartupSwitches = 0xDEADBEEF;
        EXPECT_EQ(ParseCommandLine(owner, line), expectedResult) << (line ? line : "(null)");
        return AnsweredBoxes();
    }

    HWND owner = nullptr;
};

TEST_F(CommandLineTest, SwitchWordsSetTheirBitsInAnyCase)
{
    EXPECT_TRUE(Parse("MAIL Group2", 0).empty());
    EXPECT_EQ(StartupSwitches, FE_GROUP_MAIL | FE_GROUP_2);

    EXPECT_TRUE(Parse("mail status group1 group2 group3 exitwhenidle", 0).empty());
    EXPECT_EQ(StartupSwitches, FE_ALL_GROUPS | SWITCH_EXIT_WHEN_IDLE);

    EXPECT_TRUE(Parse("ExitWhenIdle", 0).empty());
    EXPECT_EQ(StartupSwitches, SWITCH_EXIT_WHEN_IDLE);

    // A word given twice has the effect of one.
    EXPECT_TRUE(Parse("mail mail", 0).empty());
    EXPECT_EQ(StartupSwitches, FE_GROUP_MAIL);
}

TEST_F(CommandLineTest, BlanksAroundAndBetweenWordsAreSkipped)
{
    EXPECT_TRUE(Parse("   status     group3", 0).empty());
    EXPECT_EQ(StartupSwitches, FE_GROUP_STATUS | FE_GROUP_3);

    // Blanks after the last word make no empty word.
    EXPECT_TRUE(Parse("group1   ", 0).empty());
    EXPECT_EQ(StartupSwitches, FE_GROUP_1);
    EXPECT_TRUE(Parse("     ", 0).empty());
    EXPECT_EQ(StartupSwitches, 0u);
}

TEST_F(CommandLineTest, AbsentOrEmptyLineClearsTheSwitches)
{
    EXPECT_TRUE(Parse(nullptr, 0).empty());
    EXPECT_EQ(StartupSwitches, 0u);
    EXPECT_TRUE(Parse("", 0).empty());
    EXPECT_EQ(StartupSwitches, 0u);
}

TEST_F(CommandLineTest, UnknownWordIsShownAsWrittenAndStopsTheParse)
{
    std::vector<AnsweredBox> boxes = Parse("/mail", 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, BAD_SWITCH_TITLE);
    EXPECT_EQ(boxes[0].text, BadSwitchText("/mail"));
    EXPECT_EQ(boxes[0].owner, owner);

    boxes = Parse("-status", 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, BadSwitchText("-status"));

    // Only the first unknown word is reported.
    boxes = Parse("mail bogus other", 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, BadSwitchText("bogus"));
}

TEST_F(CommandLineTest, TabsBelongToTheWord)
{
    std::vector<AnsweredBox> boxes = Parse("mail\tstatus", 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, BadSwitchText("mail\tstatus"));

    boxes = Parse("\tmail", 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, BadSwitchText("\tmail"));
}

TEST_F(CommandLineTest, OverlongWordIsShownCutAndNeverMatches)
{
    // A word of exactly 255 characters is still shown whole.
    const std::string longest(255, 'w');
    std::vector<AnsweredBox> boxes = Parse(("mail " + longest).c_str(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, BadSwitchText(longest));

    // Past that the box shows the first 255 and marks the cut, even when the
    // word begins like a switch word.
    const std::string overlong = "mail" + std::string(296, 'x') + " status";
    boxes = Parse(overlong.c_str(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, BadSwitchText(overlong.substr(0, 255) + "..."));
}

}
