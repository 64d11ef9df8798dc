#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "entries/settings.h"
#include "output/html_output.h"
#include "output/monitor_files.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_windows.h"

namespace {

std::string ProgramFolderOfThisTest()
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path(self, length);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

// What the stand-in browser recorded: "argc" and "argv[i]" to their values.
std::map<std::string, std::string> ReadRecord(const std::string& path)
{
    std::map<std::string, std::string> record;
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t equals = line.find('=');
        if (equals != std::string::npos)
            record[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return record;
}

class HtmlOutputTest : public ::testing::Test {
protected:
    std::string base;
    std::string monitor;
    std::string browser;
    std::string record;

    void SetUp() override
    {
        StartTestProgram({.simulate = true, .startTaskThread = false});
        ASSERT_EQ(SetUpPaths(), 1);
        base = TempFolder() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveFolderTree(base);
        CreateDirectoryA(base.c_str(), nullptr);
        // A program folder with blanks in its name, as under "Program Files".
        const std::string program = base + "\\Program Folder";
        CreateDirectoryA(program.c_str(), nullptr);
        monitor = program + "\\Monitor";
        CreateDirectoryA(monitor.c_str(), nullptr);
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s", monitor.c_str());

        const std::string browserFolder = base + "\\Browser Folder";
        CreateDirectoryA(browserFolder.c_str(), nullptr);
        browser = browserFolder + "\\stand-in browser.exe";
        ASSERT_TRUE(CopyFileA((ProgramFolderOfThisTest() + "record_command_line.exe").c_str(), browser.c_str(), FALSE));
        record = base + "\\browser record.txt";
        SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
        snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%s", browser.c_str());
        Settings.options |= OPT_USER_BROWSER;
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
        WriteWholeFile(monitor + "\\" + entry->monitorFile, answer);
        return entry;
    }

    std::string PathOf(const FingerEntry* entry) { return monitor + "\\" + entry->monitorFile; }

    // Waits for the stand-in browser's record and returns it.
    std::map<std::string, std::string> BrowserRecord()
    {
        EXPECT_TRUE(PumpUntil([&] { return IsFile(record); }, 30000)) << "the browser was not started";
        return ReadRecord(record);
    }

    bool BrowserStartedWithin(DWORD ms)
    {
        return PumpUntil([&] { return IsFile(record); }, ms);
    }

    // True when a stand-in browser has been started with exactly this file.
    bool BrowserOpened(const std::string& path)
    {
        return PumpUntil([&] { return IsFile(record) && ReadRecord(record)["argv[1]"] == path; }, 30000);
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

    AnswerBoxes("", IDOK);
    EXPECT_EQ(ViewHtmlOutput(quick), 1);
    EXPECT_EQ(AnsweredBoxCount(), 0);
    EXPECT_FALSE(BrowserStartedWithin(500));
}

TEST_F(HtmlOutputTest, BrowserGetsTheMonitorFileQuoted)
{
    FingerEntry* entry = EntryWithFile("Page", "<html>page</html>");
    ASSERT_NE(PathOf(entry).find(' '), std::string::npos);
    EXPECT_EQ(ViewHtmlOutput(entry), 0);
    auto started = BrowserRecord();
    EXPECT_EQ(started["argc"], "2");
    EXPECT_EQ(started["argv[1]"], PathOf(entry));
}

TEST_F(HtmlOutputTest, HtmlLastOutputOpensTheBrowserAndNeverShowsText)
{
    Settings.options |= OPT_AUTO_HTML;
    FingerEntry* never = EntryWithFile("Never", "<HTML>text</HTML>", FE_HTML_NEVER);
    EXPECT_EQ(ViewEntryLastOutput(never), 0);
    EXPECT_EQ(PaneText(), "<HTML>text</HTML>");
    EXPECT_FALSE(BrowserStartedWithin(500));

    FingerEntry* detected = EntryWithFile("Detected", "<HTML>page</HTML>");
    EXPECT_EQ(ViewEntryLastOutput(detected), 0);
    EXPECT_TRUE(BrowserOpened(PathOf(detected)));

    Settings.options &= ~OPT_AUTO_HTML;
    FingerEntry* always = EntryWithFile("Always", "no tags here", FE_HTML_ALWAYS);
    EXPECT_EQ(ViewEntryLastOutput(always), 0);
    EXPECT_TRUE(BrowserOpened(PathOf(always)));
    EXPECT_EQ(PaneText(), "<HTML>text</HTML>");
}

TEST_F(HtmlOutputTest, BrowserThatIsMissingIsReported)
{
    FingerEntry* entry = EntryWithFile("Page", "<html>page</html>");
    snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%s\\no such browser.exe", base.c_str());
    AnswerBoxes("", IDOK);
    EXPECT_EQ(ViewHtmlOutput(entry), 1);
    auto boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "View HTML Output");
    EXPECT_EQ(boxes[0].text, "Couldn't view the HTML last output -- not found");
    EXPECT_EQ(boxes[0].owner, ShellHandles.mainWindow);
}

TEST_F(HtmlOutputTest, AssociatedProgramLookup)
{
    char result[PATH_SIZE];
    EXPECT_EQ(FindAssociatedProgram(browser.c_str(), "", result), 0);
    EXPECT_EQ(lstrcmpiA(result, browser.c_str()), 0) << result;

    const std::string missing = base + "\\missing.htm";
    const std::string unknown = base + "\\answer.zqxw";
    WriteWholeFile(unknown, "x");
    const std::pair<std::string, std::string> failures[] = {
        {missing, "Couldn't find: " + missing},
        {unknown, "Couldn't find a program associated with:\n" + unknown},
    };
    for (const auto& [file, text] : failures) {
        AnswerBoxes("", IDOK);
        EXPECT_EQ(FindAssociatedProgram(file.c_str(), "", result), 1);
        ASSERT_EQ(AnsweredBoxCount(), 1);
        EXPECT_EQ(AnsweredBoxes()[0].caption, "Ombrelane");
        EXPECT_EQ(AnsweredBoxes()[0].text, text);
    }
}

TEST_F(HtmlOutputTest, LastOutputIsShownAsTextInTheEntryFormat)
{
    FingerEntry* entry = EntryWithFile("Text", "Login: someone\nPlan:\n  nothing\n");
    entry->colour = RGB(0, 0, 200);
    entry->outputStart = 5;
    entry->outputEnd = 7;
    EXPECT_EQ(ViewEntryLastOutput(entry), 0);
    EXPECT_EQ(PaneText(), "Login: someone\nPlan:\n  nothing\n");
    EXPECT_EQ(entry->outputStart, 5);
    EXPECT_EQ(entry->outputEnd, 7);

    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    CHARRANGE first = {0, 1};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageA(OutputWindow, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.crTextColor, RGB(0, 0, 200));
    EXPECT_FALSE(BrowserStartedWithin(300));
}

TEST_F(HtmlOutputTest, MissingEmptyAndLongLastOutput)
{
    FingerEntry* missing = AddTestEntry("Missing", "m@host");
    AnswerBoxes("", IDOK);
    EXPECT_EQ(ViewEntryLastOutput(missing), 1);
    FingerEntry* empty = EntryWithFile("Empty", "");
    EXPECT_EQ(ViewEntryLastOutput(empty), 0);
    EXPECT_EQ(AnsweredBoxCount(), 0);
    EXPECT_EQ(PaneText(), "");

    // A stored answer longer than the answer size is cut to it.
    const std::string answer(Settings.maxAllocSize + 100, 'y');
    FingerEntry* entry = EntryWithFile("Long", answer);
    EXPECT_EQ(ViewEntryLastOutput(entry), 0);
    EXPECT_EQ(PaneText(), answer.substr(0, Settings.maxAllocSize));
}

TEST_F(HtmlOutputTest, WelcomeDocumentIsRichTextFromTheCurrentFolder)
{
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(base.c_str());
    AnswerBoxes("", IDOK);
    EXPECT_EQ(ShowWelcomeDocument("Welcome.rtf"), 1);
    EXPECT_EQ(PaneText(), "");
    WriteWholeFile(base + "\\Welcome.rtf", "{\\rtf1\\ansi Hello {\\b bold} welcome\\par}");
    EXPECT_EQ(ShowWelcomeDocument("Welcome.rtf"), 0);
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(AnsweredBoxCount(), 0);
    std::string text = PaneText();
    EXPECT_EQ(text.substr(0, 18), "Hello bold welcome") << text;
    EXPECT_EQ(text.find('{'), std::string::npos) << text;
}

TEST_F(HtmlOutputTest, ShowingWaitsWhileTheTaskThreadComparesAnswers)
{
    FingerEntry* entry = EntryWithFile("Busy", "stored");
    HANDLE locked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> released{false};
    std::thread task([&] {
        LockCompareBuffer();
        SetEvent(locked);
        Sleep(300);
        released = true;
        UnlockCompareBuffer();
    });
    WaitForSingleObject(locked, 5000);
    EXPECT_EQ(ViewEntryLastOutput(entry), 0);
    EXPECT_TRUE(released);
    task.join();
    CloseHandle(locked);
    EXPECT_EQ(PaneText(), "stored");
}

}
