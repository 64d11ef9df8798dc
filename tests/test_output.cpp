#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <tuple>

#include "entries/settings.h"
#include "output/answer_buffers.h"
#include "output/change_notification.h"
#include "output/html_output.h"
#include "output/log_file.h"
#include "output/monitor_files.h"
#include "output/monitor_migration.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "support/program_test.h"
#include "support/test_files.h"
#include "support/test_windows.h"

namespace {

const std::string kNotStored = "Monitor Error: Couldn't update monitor file\n";

// The boxes shown while the step runs, answered with the button; any other box fails the test.
std::string Boxes(const std::function<void()>& step, int button = IDOK)
{
    AnswerBoxes("", button);
    step();
    const std::string texts = BoxTexts();
    AnswerBoxes("", IDOK);
    return texts;
}

// A fresh folder per test with the log and a monitor folder whose name has a blank; logging is on.
struct OutputTest : ProgramFixture<TestProgramOptions{.startTaskThread = false}> {
    std::string base = TempFolder() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string folder = base + "\\Monitor Folder";
    std::string log = base + "\\log.txt";

    void SetUp() override
    {
        ProgramFixture::SetUp();
        Settings.maxAllocSize = 300000;  // past the output pane's default limit
        ASSERT_EQ(SetUpPaths(), 0);
        CreateDirectoryA(base.c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s", folder.c_str());
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        Settings.options |= OPT_LOGGING;
        AnswerBoxes("", IDOK);
    }

    void TearDown() override
    {
        EXPECT_EQ(AnsweredBoxCount(), 0) << "unexpected box: " << AnsweredBoxes()[0].text;
        StopAnsweringBoxes();
        ProgramFixture::TearDown();
        RemoveFolderTree(base);
    }
};

TEST_F(OutputTest, AnswerIsStoredWholeAndComparedByteForByte)
{
    FreeAnswerBuffers(true);  // as at shutdown while the task thread still runs
    ASSERT_TRUE(CompareBuffer) << "the buffer went from under the task thread";
    const std::string full(Settings.maxAllocSize, 'x');
    const std::tuple<const char*, bool, std::string, std::string, uint32_t, uint32_t> cases[] = {
        {"first answer", false, "", "hello", FE_NOTIFY_CHANGES, 0},
        {"after an empty file", true, "", "different", FE_NOTIFY_CHANGES, 0},
        {"same answer", true, "abcdef", "abcdef", FE_NOTIFY_CHANGES, 0},
        {"one byte differs", true, "abcdef", "abcdeX", FE_NOTIFY_CHANGES, 1},
        {"old answer is a prefix", true, "abcdeX", "abcdeXtra", FE_NOTIFY_CHANGES, 1},
        {"shorter", true, "abcdeXtra", "abc", FE_NOTIFY_CHANGES, 1},
        {"difference behind a NUL", true, std::string("ab\0d", 4), std::string("ab\0e", 4), FE_NOTIFY_CHANGES, 1},
        {"stored file longer than the buffer", true, full + "more", full, FE_NOTIFY_CHANGES, 1},
        {"without notify nothing is compared", true, "one", "two", 0, 0},
    };
    for (const auto& [name, onFile, previous, answer, flags, changed] : cases) {
        FingerEntry* entry = AddTestEntry(name, "a@b", flags);
        if (onFile)
            WriteWholeFile(MonitorPath(entry), previous);
        ASSERT_EQ(UpdateMonitorFile(entry, answer.data(), static_cast<uint32_t>(answer.size())), 0) << name;
        EXPECT_EQ(entry->changed, changed) << name;
        EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), answer) << name;
    }
}

// An answer whose tail lies in a page that cannot be read makes the write take the readable part and fail.
TEST_F(OutputTest, FailedStoreKeepsTheOldAnswerAndIsReported)
{
    auto* pages = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    DWORD protection;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &protection));
    FingerEntry* entry = AddTestEntry("Kept", "a@b", FE_NOTIFY_CHANGES);
    const std::string path = MonitorPath(entry);
    WriteWholeFile(path, "kept");
    EXPECT_EQ(Boxes([&] { EXPECT_EQ(UpdateMonitorFile(entry, pages + 4000, 200), 1); }), kNotStored);
    VirtualFree(pages, 0, MEM_RELEASE);
    EXPECT_EQ(ReadWholeFile(path), "kept");
    EXPECT_FALSE(IsFile(path + ".new")) << "a side file was left behind";
}

// A change beeps every time but opens one window per entry; Enter (via the main loop's hook) or its entry closes it.
TEST_F(OutputTest, ChangesOpenOneWindowPerEntryAndBeepEveryTime)
{
    StopAnsweringBoxes();  // the notification windows are dialogs too
    OpenNotificationCount = ChangeBeepCount = 0;
    FingerEntry* entry = AddTestEntry("Server status", "status@example.org", FE_NOTIFY_CHANGES);
    FingerEntry* other = AddTestEntry("Other", "o@host", FE_NOTIFY_CHANGES);
    for (const auto& [to, text] : {std::pair{entry, "up"}, {other, "up"}, {entry, "up"}, {entry, "down"},
                                   {other, "down"}, {entry, "up"}}) {
        UpdateMonitorFile(to, text, static_cast<uint32_t>(strlen(text)));
        NotifyChangedEntries();
    }
    EXPECT_EQ(std::pair(ChangeBeepCount, OpenNotificationCount), std::pair(3u, 2u));
    HWND window = entry->notifyWindow;
    EXPECT_EQ(WindowText(GetDlgItem(window, IDC_NOTIFY_TEXT)), "Server status\n(\"status@example.org\")\nhas changed.");
    MSG enter = {GetDlgItem(window, IDC_NOTIFY_OK), WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    EXPECT_TRUE(IsNotificationMessage(&enter));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000)) << "Enter left the window open";
    CloseChangeNotification(other);
    EXPECT_FALSE((entry->flags | other->flags) & FE_NOTIFY_OPEN);
    EXPECT_EQ(OpenNotificationCount, 0u);
}

// Each stored file holds its own name; a renamed file whose new name is taken in any case gets a fresh one.
TEST_F(OutputTest, OldNamesAreRenamedAndUnusableOnesRebuiltWithoutSharingAFile)
{
    const char* names[] = {"00000007.txt", "00000001.htm", "", "00000003.HTM", "00000003.TXT", "..\\x.txt"};
    std::vector<FingerEntry*> entries;
    for (const char* name : names) {
        entries.push_back(AddTestEntry(name[0] ? name : "Nameless", "a@b"));
        snprintf(entries.back()->monitorFile, MONITOR_NAME_SIZE, "%s", name);
        WriteWholeFile(MonitorPath(entries.back()), name);
    }
    AddTestEntry("", "q@host", FE_TEMPORARY)->monitorFile[0] = '\0';
    // A name that is no plain file name is never used.
    EXPECT_EQ(Boxes([&] { EXPECT_EQ(UpdateMonitorFile(entries[5], "x", 1), 1); }), kNotStored);

    const std::string rebuilding = "Missing Monitor Filename: Rebuilding monitor filename for the entry:\n";
    EXPECT_EQ(Boxes([] { EXPECT_EQ(MigrateMonitorFiles(), 0); }),
              rebuilding + "Nameless\n" + rebuilding + "..\\x.txt\n" +
                  "Renamed 2 Finger Entry Monitor Files: Ombrelane has detected that you are using finger entries\n"
                  "from version 1.1a or earlier. They have been renamed to work\nwith this version.\n");
    EXPECT_STREQ(entries[0]->monitorFile, "00000007.htm");
    for (size_t i = 0; i < entries.size(); ++i) {
        const bool rebuilt = i == 2 || i == 5;
        EXPECT_EQ(ReadWholeFile(MonitorPath(entries[i])), rebuilt ? "" : names[i]) << i;
        for (size_t j = i + 1; j < entries.size(); ++j)
            EXPECT_NE(lstrcmpiA(entries[i]->monitorFile, entries[j]->monitorFile), 0) << i << " " << j;
    }
    EXPECT_EQ(Boxes([] { MigrateMonitorFiles(); }), "") << "nothing is left to rename";
}

TEST_F(OutputTest, LogTakesTheBytesOfLoggedEntriesWhileLoggingIsOn)
{
    FingerEntry* quick = AddTestEntry("", "quick@host", FE_TEMPORARY | FE_LOG_OUTPUT);
    UpdateMonitorFile(AddTestEntry("Quiet", "quiet@host"), "quiet", 5);
    UpdateMonitorFile(quick, "a\0b", 3);
    EXPECT_FALSE(IsFile(MonitorPath(quick))) << "a quick finger has no monitor file";
    Settings.options &= ~OPT_LOGGING;
    UpdateMonitorFile(quick, "off", 3);
    EXPECT_EQ(ReadWholeFile(log), std::string("a\0b", 3));

    EXPECT_EQ(Boxes(ClearLogCommand, IDYES), "Clear Log: Are you sure you want to clear the log?\n");
    EXPECT_EQ(Boxes([] { ViewLog(nullptr); }), "View Log: The log is empty\n");
}

// Without automatic detection only FE_HTML_ALWAYS makes an answer HTML.
TEST_F(OutputTest, HtmlIsDetectedByItsTagsWhenAutomaticOrByTheEntrysChoice)
{
    const char* page = "<HTML>page</HTML>";
    const std::tuple<uint32_t, std::string, bool> cases[] = {
        {0, "Plan:\n<HTML><BODY>hi</BODY></HTML>\n", true},
        {0, "plain text", false},
        {0, "closing first </html> then <html>", false},
        {0, "</html><html></HTML>", false},  // the lower-case closing tag decides
        {FE_HTML_NEVER, page, false},
        {FE_HTML_ALWAYS, "no tags at all", true},
        {FE_HTML_ALWAYS | FE_TEMPORARY, page, false},  // a quick finger has no page to open
    };
    for (const bool automatic : {true, false}) {
        Settings.options = automatic ? Settings.options | OPT_AUTO_HTML : Settings.options & ~OPT_AUTO_HTML;
        for (const auto& [flags, answer, html] : cases) {
            const bool expected = html && (automatic || (flags & FE_HTML_ALWAYS));
            EXPECT_EQ(IsHtmlOutput(AddTestEntry("Detect", "a@b", flags), answer.c_str()), expected) << answer;
        }
    }
}

// HTML goes to a stand-in browser with the path whole; anything else is shown in the entry's colour, cut to size.
TEST_F(OutputTest, LastOutputOpensTheBrowserForHtmlAndIsShownAsTextOtherwise)
{
    const std::string record = base + "\\browser record.txt";
    SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
    snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%srecord_command_line.exe", ProgramFolder);
    Settings.options |= OPT_USER_BROWSER | OPT_AUTO_HTML;
    FingerEntry* page = AddTestEntry("Page", "p@host");
    WriteWholeFile(MonitorPath(page), "<html>page</html>");
    EXPECT_EQ(ViewEntryLastOutput(page), 0);
    // Under Wine the record can show before it can be read: wait for its line.
    const std::string started = "\nargv[1]=" + MonitorPath(page) + "\n";
    EXPECT_TRUE(PumpUntil([&] { return ReadWholeFile(record).find(started) != std::string::npos; }, 30000))
        << "the browser was not started with the page: " << ReadWholeFile(record);
    FingerEntry* never = AddTestEntry("Never", "n@host", FE_HTML_NEVER);
    WriteWholeFile(MonitorPath(never), "<HTML>text</HTML>");
    never->colour = RGB(0, 0, 200);
    EXPECT_EQ(ViewEntryLastOutput(never), 0);
    EXPECT_EQ(PaneText(), "<HTML>text</HTML>");
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(OutputWindow, EM_SETSEL, 0, 1);
    SendMessageA(OutputWindow, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.crTextColor, RGB(0, 0, 200));

    const std::string answer(Settings.maxAllocSize + 100, 'y');
    WriteWholeFile(MonitorPath(never), answer);
    EXPECT_EQ(ViewEntryLastOutput(never), 0);
    std::string unbroken = PaneText();  // the pane breaks long lines for display only
    std::erase(unbroken, '\n');
    EXPECT_TRUE(unbroken == "<HTML>text</HTML>" + answer.substr(0, Settings.maxAllocSize));
    EXPECT_GT(SendMessageA(OutputWindow, EM_GETLIMITTEXT, 0, 0), GetWindowTextLengthA(OutputWindow));
}

// A recycled block is replaced and later ones move up; stale positions from before recycling remove nothing.
TEST_F(OutputTest, RecyclingReplacesTheBlockAndStalePositionsNeverCutOtherOutput)
{
    FingerEntry* recycled = AddTestEntry("R", "r@h", FE_RECYCLE_OUTPUT);
    FingerEntry* other = AddTestEntry("O", "o@h", FE_RECYCLE_OUTPUT);
    FingerEntry* keeper = AddTestEntry("K", "k@h");
    const std::tuple<FingerEntry*, uint32_t, const char*, const char*> blocks[] = {
        {recycled, 0, "R1\n", "R1\n"},
        {other, 0, "O1\n", "R1\nO1\n"},
        {keeper, 0, "K1\n", "R1\nO1\nK1\n"},
        {recycled, 0, "R2\n", "O1\nK1\nR2\n"},
        {other, 0, "O2\n", "K1\nR2\nO2\n"},
        {recycled, 0, "R3\n", "K1\nO2\nR3\n"},
        {keeper, 0, "K2\n", "K1\nO2\nR3\nK2\n"},
        {keeper, FE_RECYCLE_OUTPUT, "K3\n", "K1\nO2\nR3\nK2\nK3\n"},
    };
    for (const auto& [entry, recycling, text, pane] : blocks) {
        entry->flags |= recycling;
        BeginEntryOutput(entry);
        AppendEntryText(entry, text);
        EndEntryOutput(entry);
        EXPECT_EQ(PaneText(), pane) << text;
    }
}

// A thread holding the pane's mutex sends to the pane while this thread waits for the mutex: the wait must handle
// sent messages. A deadlock cannot be broken, so past its bound the program ends with a message.
VOID CALLBACK EndDeadlocked(PVOID, BOOLEAN)
{
    fprintf(stderr, "MainThreadWaitsNeverDeadlockAgainstAWritingThread: deadlocked\n");
    TerminateProcess(GetCurrentProcess(), 3);
}

TEST_F(OutputTest, MainThreadWaitsNeverDeadlockAgainstAWritingThread)
{
    HANDLE watchdog;
    ASSERT_TRUE(CreateTimerQueueTimer(&watchdog, nullptr, EndDeadlocked, nullptr, 60000, 0, WT_EXECUTEONLYONCE));
    FingerEntry* entry = AddTestEntry("Writer", "w@h");
    std::atomic<bool> held = false;
    std::thread writer([&] {
        LockOutput();
        held = true;
        Sleep(50);  // the main thread waits for the mutex meanwhile
        AppendEntryText(entry, "writer line\n");
        UnlockOutput();
    });
    EXPECT_TRUE(PumpUntil([&] { return held.load(); }, 10000)) << "the other thread never took the mutex";
    AppendEntryText(entry, "main thread line\n");
    writer.join();
    DeleteTimerQueueTimer(nullptr, watchdog, INVALID_HANDLE_VALUE);
    EXPECT_EQ(PaneText(), "writer line\nmain thread line\n");
}

}
