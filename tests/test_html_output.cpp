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
#include "support/test_windows.h"

namespace {

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

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
        RemoveTree(base);
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
        RemoveTree(base);
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
        EXPECT_TRUE(PumpUntil([&] { return FileExists(record); }, 30000)) << "the browser was not started";
        return ReadRecord(record);
    }

    bool BrowserStartedWithin(DWORD ms)
    {
        return PumpUntil([&] { return FileExists(record); }, ms);
    }
};

TEST_F(HtmlOutputTest, DetectionFollowsTheTagsWhenAutomatic)
{
    Settings.options |= OPT_AUTO_HTML;
    FingerEntry* entry = AddTestEntry("Detect", "a@b");
    EXPECT_TRUE(IsHtmlOutput(entry, "Plan:\n<HTML><BODY>hi</BODY></HTML>\n"));
    EXPECT_TRUE(IsHtmlOutput(entry, "<html>lower</html>"));
    EXPECT_TRUE(IsHtmlOutput(entry, "<html>mixed</HTML>"));
    EXPECT_TRUE(IsHtmlOutput(entry, "<HTML>mixed</html>"));
    EXPECT_FALSE(IsHtmlOutput(entry, "plain text"));
    EXPECT_FALSE(IsHtmlOutput(entry, "<html> never closed"));
    EXPECT_FALSE(IsHtmlOutput(entry, "closing first </html> then <html>"));
    EXPECT_FALSE(IsHtmlOutput(entry, "closing first </HTML> then <HTML>"));
    // A lower-case closing tag before the opening one decides, even when an
    // upper-case one follows.
    EXPECT_FALSE(IsHtmlOutput(entry, "</html><html></HTML>"));
    EXPECT_FALSE(IsHtmlOutput(entry, "<Html>other case</Html>"));
    EXPECT_FALSE(IsHtmlOutput(entry, "< html></html>"));
    // The search ends at the first NUL.
    const char cut[] = "<html>\0</html>";
    EXPECT_FALSE(IsHtmlOutput(entry, cut));
}

TEST_F(HtmlOutputTest, EntryChoicesOverrideDetection)
{
    const char* html = "<HTML>page</HTML>";
    FingerEntry* never = AddTestEntry("Never", "a@b", FE_HTML_NEVER);
    FingerEntry* always = AddTestEntry("Always", "a@b", FE_HTML_ALWAYS);
    FingerEntry* both = AddTestEntry("Both", "a@b", FE_HTML_ALWAYS | FE_HTML_NEVER);
    FingerEntry* allow = AddTestEntry("Allow", "a@b");

    Settings.options |= OPT_AUTO_HTML;
    EXPECT_FALSE(IsHtmlOutput(never, html));
    EXPECT_TRUE(IsHtmlOutput(always, "no tags at all"));
    EXPECT_FALSE(IsHtmlOutput(both, html));
    EXPECT_TRUE(IsHtmlOutput(allow, html));

    Settings.options &= ~OPT_AUTO_HTML;
    EXPECT_FALSE(IsHtmlOutput(allow, html));
    EXPECT_TRUE(IsHtmlOutput(always, "no tags at all"));
}

TEST_F(HtmlOutputTest, QuickFingerHasNoPageToOpen)
{
    Settings.options |= OPT_AUTO_HTML;
    FingerEntry* quick = AddTestEntry("", "quick@host", FE_TEMPORARY | FE_HTML_ALWAYS);
    quick->monitorFile[0] = '\0';
    EXPECT_FALSE(IsHtmlOutput(quick, "<html>x</html>"));
    AnswerBoxes("", IDOK);
    EXPECT_EQ(ViewHtmlOutput(quick), 1);
    StopAnsweringBoxes();
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

TEST_F(HtmlOutputTest, AlwaysHtmlLastOutputOpensTheBrowserWithDetectionOff)
{
    Settings.options &= ~OPT_AUTO_HTML;
    FingerEntry* entry = EntryWithFile("Always", "no tags here", FE_HTML_ALWAYS);
    EXPECT_EQ(ViewEntryLastOutput(entry), 0);
    auto started = BrowserRecord();
    EXPECT_EQ(started["argv[1]"], PathOf(entry));
    EXPECT_EQ(PaneText(), "");
}

TEST_F(HtmlOutputTest, DetectedHtmlLastOutputOpensTheBrowserAndNeverShowsText)
{
    Settings.options |= OPT_AUTO_HTML;
    FingerEntry* never = EntryWithFile("Never", "<HTML>text</HTML>", FE_HTML_NEVER);
    EXPECT_EQ(ViewEntryLastOutput(never), 0);
    EXPECT_EQ(PaneText(), "<HTML>text</HTML>");
    EXPECT_FALSE(BrowserStartedWithin(500));

    FingerEntry* detected = EntryWithFile("Detected", "<HTML>page</HTML>");
    EXPECT_EQ(ViewEntryLastOutput(detected), 0);
    EXPECT_EQ(BrowserRecord()["argv[1]"], PathOf(detected));
    EXPECT_EQ(PaneText(), "<HTML>text</HTML>");
}

TEST_F(HtmlOutputTest, BrowserThatIsMissingIsReported)
{
    FingerEntry* entry = EntryWithFile("Page", "<html>page</html>");
    snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%s\\no such browser.exe", base.c_str());
    AnswerBoxes("", IDOK);
    EXPECT_EQ(ViewHtmlOutput(entry), 1);
    StopAnsweringBoxes();
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
    AnswerBoxes("", IDOK);
    EXPECT_EQ(FindAssociatedProgram(missing.c_str(), "", result), 1);
    StopAnsweringBoxes();
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].caption, "Ombrelane");
    EXPECT_EQ(AnsweredBoxes()[0].text, "Couldn't find: " + missing);

    const std::string unknown = base + "\\answer.zqxw";
    WriteWholeFile(unknown, "x");
    AnswerBoxes("", IDOK);
    EXPECT_EQ(FindAssociatedProgram(unknown.c_str(), "", result), 1);
    StopAnsweringBoxes();
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].caption, "Ombrelane");
    EXPECT_EQ(AnsweredBoxes()[0].text, "Couldn't find a program associated with:\n" + unknown);
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

TEST_F(HtmlOutputTest, MissingOrEmptyLastOutput)
{
    FingerEntry* missing = AddTestEntry("Missing", "m@host");
    AnswerBoxes("", IDOK);
    EXPECT_EQ(ViewEntryLastOutput(missing), 1);
    FingerEntry* empty = EntryWithFile("Empty", "");
    EXPECT_EQ(ViewEntryLastOutput(empty), 0);
    StopAnsweringBoxes();
    EXPECT_EQ(AnsweredBoxCount(), 0);
    EXPECT_EQ(PaneText(), "");
}

TEST_F(HtmlOutputTest, LongStoredAnswerIsCutAtTheAnswerSize)
{
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
    StopAnsweringBoxes();
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
