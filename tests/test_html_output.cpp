#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "entries/settings.h"
#include "output/answer_buffers.h"
#include "output/html_output.h"
#include "output/output_window.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_windows.h"

namespace {

// The monitor folder lies in a folder with a blank in its name, as under
// "Program Files"; the user's browser is a stand-in that records its
// arguments ("argc=2", "argv[1]=<file>") in the file `record`.
class HtmlOutputTest : public ::testing::Test {
protected:
    std::string base;
    std::string record;

    void SetUp() override
    {
        StartTestProgram({.simulate = true, .startTaskThread = false});
        ASSERT_EQ(SetUpPaths(), 0);
        base = TempFolder() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveFolderTree(base);
        CreateDirectoryA(base.c_str(), nullptr);
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s\\Monitor Folder", base.c_str());
        CreateDirectoryA(MonitorFolder, nullptr);
        snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%s\\stand-in browser.exe", base.c_str());
        Settings.options |= OPT_USER_BROWSER;
        ASSERT_TRUE(CopyFileA((std::string(ProgramFolder) + "record_command_line.exe").c_str(), Settings.userBrowser,
                              FALSE));
        record = base + "\\browser record.txt";
        SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
        AnswerBoxes("", IDOK);
    }

    void TearDown() override
    {
        StopAnsweringBoxes();
        SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", nullptr);
        StopTestProgram();
        RemoveFolderTree(base);
    }

    FingerEntry* EntryWithFile(const char* name, const std::string& answer, uint32_t flags = 0)
    {
        FingerEntry* entry = AddTestEntry(name, "someone@example.org", flags);
        WriteWholeFile(std::string(MonitorFolder) + "\\" + entry->monitorFile, answer);
        return entry;
    }

    // Whether the stand-in browser was started with just the entry's file
    // (false for none when entry is null) within ms.
    bool BrowserOpened(const FingerEntry* entry, DWORD ms = 30000)
    {
        if (!PumpUntil([&] { return IsFile(record); }, ms))
            return false;
        const std::string text = ReadWholeFile(record);
        DeleteFileA(record.c_str());
        return entry && text.find("argc=2\n") != std::string::npos &&
               text.find(std::string("argv[1]=") + MonitorFolder + "\\" + entry->monitorFile + "\n") !=
                   std::string::npos;
    }
};

TEST_F(HtmlOutputTest, DetectionFollowsTheTagsWhenAutomaticAndTheEntrysChoice)
{
    Settings.options |= OPT_AUTO_HTML;
    FingerEntry* entry = AddTestEntry("Detect", "a@b");
    const std::pair<std::string, bool> answers[] = {
        {"Plan:\n<HTML><BODY>hi</BODY></HTML>\n", true},
        {"<html>lower</html>", true},
        {"<html>mixed</HTML>", true},
        {"<HTML>mixed</html>", true},
        {"plain text", false},
        {"<html> never closed", false},
        {"closing first </html> then <html>", false},
        {"closing first </HTML> then <HTML>", false},
        // A lower-case closing tag before the opening one decides, even when
        // an upper-case one follows.
        {"</html><html></HTML>", false},
        {"<Html>other case</Html>", false},
        {"< html></html>", false},
        // The search ends at the first NUL.
        {std::string("<html>\0</html>", 14), false},
    };
    for (const auto& [answer, html] : answers)
        EXPECT_EQ(IsHtmlOutput(entry, answer.c_str()), html) << answer;

    const char* page = "<HTML>page</HTML>";
    FingerEntry* never = AddTestEntry("Never", "a@b", FE_HTML_NEVER);
    FingerEntry* always = AddTestEntry("Always", "a@b", FE_HTML_ALWAYS);
    FingerEntry* both = AddTestEntry("Both", "a@b", FE_HTML_ALWAYS | FE_HTML_NEVER);
    FingerEntry* quick = AddTestEntry("", "quick@host", FE_TEMPORARY | FE_HTML_ALWAYS);
    quick->monitorFile[0] = '\0';
    EXPECT_FALSE(IsHtmlOutput(never, page));
    EXPECT_TRUE(IsHtmlOutput(always, "no tags at all"));
    EXPECT_FALSE(IsHtmlOutput(both, page));
    EXPECT_FALSE(IsHtmlOutput(quick, page)) << "a quick finger has no page to open";
    Settings.options &= ~OPT_AUTO_HTML;
    EXPECT_FALSE(IsHtmlOutput(entry, page));
    EXPECT_TRUE(IsHtmlOutput(always, "no tags at all"));
    EXPECT_EQ(ViewHtmlOutput(quick), 1);
    EXPECT_EQ(AnsweredBoxCount(), 0);
    EXPECT_FALSE(BrowserOpened(nullptr, 500)) << "the browser was started";
}

TEST_F(HtmlOutputTest, LastOutputOpensTheBrowserForHtmlAndIsShownAsTextOtherwise)
{
    Settings.options |= OPT_AUTO_HTML;
    FingerEntry* never = EntryWithFile("Never", "<HTML>text</HTML>", FE_HTML_NEVER);
    never->colour = RGB(0, 0, 200);
    never->outputStart = 5;
    EXPECT_EQ(ViewEntryLastOutput(never), 0);
    EXPECT_EQ(PaneText(), "<HTML>text</HTML>");
    EXPECT_EQ(never->outputStart, 5) << "showing again is no new answer";
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    CHARRANGE first = {0, 1};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageA(OutputWindow, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.crTextColor, RGB(0, 0, 200));
    EXPECT_FALSE(BrowserOpened(nullptr, 500)) << "the browser was started";

    FingerEntry* detected = EntryWithFile("Detected", "<HTML>page</HTML>");
    EXPECT_EQ(ViewEntryLastOutput(detected), 0);
    EXPECT_TRUE(BrowserOpened(detected)) << "the browser did not get the file";
    Settings.options &= ~OPT_AUTO_HTML;
    FingerEntry* always = EntryWithFile("Always", "no tags here", FE_HTML_ALWAYS);
    EXPECT_EQ(ViewEntryLastOutput(always), 0);
    EXPECT_TRUE(BrowserOpened(always)) << "the browser did not get the file";

    // A missing file fails quietly, an empty one shows nothing, a long one
    // is cut to the answer size.
    SetWindowTextA(OutputWindow, "");
    EXPECT_EQ(ViewEntryLastOutput(AddTestEntry("Missing", "m@host")), 1);
    EXPECT_EQ(ViewEntryLastOutput(EntryWithFile("Empty", "")), 0);
    EXPECT_EQ(PaneText(), "");
    const std::string answer(Settings.maxAllocSize + 100, 'y');
    EXPECT_EQ(ViewEntryLastOutput(EntryWithFile("Long", answer)), 0);
    EXPECT_TRUE(PaneText() == answer.substr(0, Settings.maxAllocSize));
    // Without an entry a file is rich text (the welcome document).
    SetWindowTextA(OutputWindow, "");
    WriteWholeFile(base + "\\Welcome.rtf", "{\\rtf1\\ansi Hello {\\b bold} welcome\\par}");
    EXPECT_EQ(ShowWelcomeDocument((base + "\\Welcome.rtf").c_str()), 0);
    EXPECT_EQ(PaneText().substr(0, 19), "Hello bold welcome\n");
    EXPECT_EQ(AnsweredBoxCount(), 0);
}

TEST_F(HtmlOutputTest, MissingBrowserOrProgramIsReported)
{
    const std::string unknown = base + "\\answer.zqxw";
    WriteWholeFile(unknown, "x");
    char result[PATH_SIZE];
    EXPECT_EQ(FindAssociatedProgram((base + "\\missing.htm").c_str(), "", result), 1);
    EXPECT_EQ(FindAssociatedProgram(unknown.c_str(), "", result), 1);
    snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%s\\no such browser.exe", base.c_str());
    EXPECT_EQ(ViewHtmlOutput(EntryWithFile("Page", "<html>page</html>")), 1);
    std::string seen;
    for (const AnsweredBox& box : AnsweredBoxes())
        seen += box.caption + "|" + box.text + "\n";
    EXPECT_EQ(seen, "Ombrelane|Couldn't find: " + base + "\\missing.htm\nOmbrelane|Couldn't find a program associated "
                    "with:\n" + unknown + "\nView HTML Output|Couldn't view the HTML last output -- not found\n");
}

}
