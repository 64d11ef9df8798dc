#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "output/monitor_files.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_windows.h"

namespace {

const char kChildReportVariable[] = "OMBRELANE_CHILD_REPORT";
const char kChildClearLogVariable[] = "OMBRELANE_CHILD_CLEAR_LOG";

// A fresh folder of the given name inside this process's temporary folder.
std::string FreshFolder(const std::string& name)
{
    std::string folder = TempFolder() + "\\" + name;
    RemoveFolderTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

int FileCountIn(const std::string& folder)
{
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

std::string MonitorPathOf(const FingerEntry* entry)
{
    char path[PATH_SIZE];
    EXPECT_EQ(MonitorFilePath(entry, path, sizeof path), 0);
    return path;
}

std::string ControlText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

class MonitorFilesTest : public ::testing::Test {
protected:
    std::string folder;

    void SetUp() override
    {
        StartTestProgram({.simulate = true, .startTaskThread = false});
        ASSERT_EQ(SetUpPaths(), 1);
        folder = FreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s", folder.c_str());
        OpenNotificationCount = 0;
        ChangeBeepCount = 0;
    }

    void TearDown() override
    {
        StopAnsweringBoxes();
        for (FingerEntry* entry = EntryList.head; entry; entry = entry->next)
            CloseChangeNotification(entry);
        PumpMessagesFor(50);
        StopTestProgram();
        RemoveFolderTree(folder);
    }
};

TEST_F(MonitorFilesTest, PathIsTheMonitorFolderAndTheName)
{
    FingerEntry* entry = AddTestEntry("Path", "a@b");
    snprintf(entry->monitorFile, sizeof entry->monitorFile, "00000042.htm");
    EXPECT_EQ(MonitorPathOf(entry), folder + "\\00000042.htm");
    char small[8];
    EXPECT_EQ(MonitorFilePath(entry, small, sizeof small), 1);
    EXPECT_STREQ(small, "");
}

TEST_F(MonitorFilesTest, AnswerIsStoredWholeAndComparedByteForByte)
{
    struct Case {
        const char* name;
        bool stored;  // whether a previous answer is on file
        std::string previous;
        std::string answer;
        uint32_t flags;
        uint32_t changed;
    };
    const std::string full(Settings.maxAllocSize, 'x');
    const Case cases[] = {
        {"first answer", false, "", "hello", FE_NOTIFY_CHANGES, 0},
        {"after an empty file", true, "", "different", FE_NOTIFY_CHANGES, 0},
        {"same answer", true, "abcdef", "abcdef", FE_NOTIFY_CHANGES, 0},
        {"one byte differs", true, "abcdef", "abcdeX", FE_NOTIFY_CHANGES, 1},
        {"old answer is a prefix", true, "abcdeX", "abcdeXtra", FE_NOTIFY_CHANGES, 1},
        {"shorter", true, "abcdeXtra", "abc", FE_NOTIFY_CHANGES, 1},
        {"difference behind a NUL", true, std::string("ab\0d", 4), std::string("ab\0e", 4), FE_NOTIFY_CHANGES, 1},
        {"stored file longer than the buffer", true, full + "more", full, FE_NOTIFY_CHANGES, 1},
        {"without notify nothing is compared", true, "one", "two", 0, 0},
        {"shorter rewrite", true, std::string("line one\r\nwith a \0 NUL\n", 24), "short", 0, 0},
    };
    for (const Case& c : cases) {
        FingerEntry* entry = AddTestEntry(c.name, "a@b", c.flags);
        if (c.stored)
            WriteWholeFile(MonitorPathOf(entry), c.previous);
        ASSERT_EQ(UpdateMonitorFile(entry, c.answer.data(), static_cast<uint32_t>(c.answer.size())), 0) << c.name;
        EXPECT_EQ(entry->changed, c.changed) << c.name;
        EXPECT_EQ(ReadWholeFile(MonitorPathOf(entry)), c.answer) << c.name;
    }
    // Nothing but the monitor files themselves is left in the folder.
    EXPECT_EQ(FileCountIn(folder), static_cast<int>(std::size(cases)));
}

TEST_F(MonitorFilesTest, FileThatCannotBeWrittenIsReportedAndOldFileStays)
{
    FingerEntry* entry = AddTestEntry("Broken", "a@b", FE_NOTIFY_CHANGES);
    UpdateMonitorFile(entry, "kept", 4);
    const std::string stored = MonitorPathOf(entry);
    // The stored answer is held open without sharing, so it cannot be replaced.
    HANDLE holder = CreateFileA(stored.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    AnswerBoxes("", IDOK);
    EXPECT_EQ(UpdateMonitorFile(entry, "lost", 4), 1);
    StopAnsweringBoxes();
    CloseHandle(holder);
    auto boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Monitor Error");
    EXPECT_EQ(boxes[0].text, "Couldn't update monitor file");
    EXPECT_EQ(ReadWholeFile(stored), "kept");
    EXPECT_EQ(FileCountIn(folder), 1);

    snprintf(MonitorFolder, sizeof MonitorFolder, "%s\\missing", folder.c_str());
    AnswerBoxes("", IDOK);
    EXPECT_EQ(UpdateMonitorFile(entry, "x", 1), 1);
    StopAnsweringBoxes();
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].text, "Couldn't update monitor file");
}

TEST_F(MonitorFilesTest, ChangeOpensOneWindowAndBeeps)
{
    FingerEntry* entry = AddTestEntry("Server status", "status@example.org", FE_NOTIFY_CHANGES);
    UpdateMonitorFile(entry, "up", 2);
    NotifyChangedEntries();
    UpdateMonitorFile(entry, "up", 2);
    NotifyChangedEntries();
    PumpMessagesFor(50);
    EXPECT_EQ(OpenNotificationCount, 0u);
    EXPECT_EQ(ChangeBeepCount, 0u);
    EXPECT_FALSE(entry->flags & FE_NOTIFY_OPEN);

    UpdateMonitorFile(entry, "down", 4);
    EXPECT_EQ(entry->changed, 1u);
    NotifyChangedEntries();
    EXPECT_EQ(entry->changed, 0u);
    EXPECT_EQ(ChangeBeepCount, 1u);
    EXPECT_EQ(OpenNotificationCount, 1u);
    ASSERT_TRUE(entry->flags & FE_NOTIFY_OPEN);
    HWND window = entry->notifyWindow;
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(WindowText(window), "Ombrelane Notification");
    const std::string expected = "Server status\n(\"status@example.org\")\nhas changed.";
    EXPECT_EQ(ControlText(window, IDC_NOTIFY_TEXT), expected);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION);
    EXPECT_FALSE(style & WS_CHILD);
    EXPECT_FALSE(style & WS_POPUP);

    // Changed again while the window is open: a beep, no second window, and
    // the window keeps its text.
    snprintf(entry->description, sizeof entry->description, "Renamed");
    UpdateMonitorFile(entry, "up again", 8);
    NotifyChangedEntries();
    EXPECT_EQ(ChangeBeepCount, 2u);
    EXPECT_EQ(OpenNotificationCount, 1u);
    EXPECT_EQ(entry->notifyWindow, window);
    EXPECT_EQ(ControlText(window, IDC_NOTIFY_TEXT), expected);

    // OK closes it and the entry can be announced again.
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_NOTIFY_OK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_NOTIFY_OK)));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000));
    EXPECT_EQ(OpenNotificationCount, 0u);
    EXPECT_FALSE(entry->flags & FE_NOTIFY_OPEN);

    UpdateMonitorFile(entry, "down", 4);
    NotifyChangedEntries();
    EXPECT_EQ(OpenNotificationCount, 1u);
    EXPECT_TRUE(IsWindow(entry->notifyWindow));
    EXPECT_EQ(ControlText(entry->notifyWindow, IDC_NOTIFY_TEXT), "Renamed\n(\"status@example.org\")\nhas changed.");
}

TEST_F(MonitorFilesTest, WindowThatCannotBeMadeIsTriedAgainAtTheNextChange)
{
    FingerEntry* entry = AddTestEntry("Retry", "r@host", FE_NOTIFY_CHANGES);
    UpdateMonitorFile(entry, "a", 1);
    UpdateMonitorFile(entry, "b", 1);
    // A module without the dialog resource: the window cannot be made.
    ShellHandles.instance = GetModuleHandleA("kernel32.dll");
    NotifyChangedEntries();
    ShellHandles.instance = GetModuleHandleA(nullptr);
    EXPECT_EQ(ChangeBeepCount, 1u);
    EXPECT_EQ(OpenNotificationCount, 0u);
    EXPECT_FALSE(entry->flags & FE_NOTIFY_OPEN);

    UpdateMonitorFile(entry, "c", 1);
    NotifyChangedEntries();
    EXPECT_EQ(ChangeBeepCount, 2u);
    EXPECT_EQ(OpenNotificationCount, 1u);
    EXPECT_TRUE(entry->flags & FE_NOTIFY_OPEN);
}

TEST_F(MonitorFilesTest, EveryChangedEntryGetsItsOwnWindow)
{
    FingerEntry* first = AddTestEntry("First", "one@host", FE_NOTIFY_CHANGES);
    FingerEntry* second = AddTestEntry("Second", "two@host", FE_NOTIFY_CHANGES);
    FingerEntry* third = AddTestEntry("Third", "three@host", FE_NOTIFY_CHANGES);
    for (FingerEntry* entry : {first, second, third})
        UpdateMonitorFile(entry, "a", 1);
    UpdateMonitorFile(first, "b", 1);
    UpdateMonitorFile(third, "b", 1);
    NotifyChangedEntries();
    EXPECT_EQ(OpenNotificationCount, 2u);
    EXPECT_EQ(ChangeBeepCount, 2u);
    EXPECT_TRUE(first->flags & FE_NOTIFY_OPEN);
    EXPECT_FALSE(second->flags & FE_NOTIFY_OPEN);
    EXPECT_TRUE(third->flags & FE_NOTIFY_OPEN);
    EXPECT_NE(first->notifyWindow, third->notifyWindow);

    // Closing with the window's own close (as the system menu does).
    HWND window = third->notifyWindow;
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000));
    EXPECT_EQ(OpenNotificationCount, 1u);
    EXPECT_FALSE(third->flags & FE_NOTIFY_OPEN);
    EXPECT_TRUE(first->flags & FE_NOTIFY_OPEN);

    // Closing for a deleted entry takes the window and the count with it.
    window = first->notifyWindow;
    CloseChangeNotification(first);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(first->flags & FE_NOTIFY_OPEN);
    EXPECT_EQ(OpenNotificationCount, 0u);
}

TEST_F(MonitorFilesTest, EnterInTheWindowReachesItThroughTheMainLoopHook)
{
    FingerEntry* entry = AddTestEntry("Keys", "k@host", FE_NOTIFY_CHANGES);
    UpdateMonitorFile(entry, "a", 1);
    UpdateMonitorFile(entry, "b", 1);
    NotifyChangedEntries();
    HWND window = entry->notifyWindow;
    ASSERT_TRUE(IsWindow(window));

    MSG message = {};
    message.hwnd = GetDlgItem(window, IDC_NOTIFY_OK);
    message.message = WM_KEYDOWN;
    message.wParam = VK_RETURN;
    message.lParam = 1;
    EXPECT_TRUE(IsNotificationMessage(&message));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000));
    EXPECT_EQ(OpenNotificationCount, 0u);

    MSG other = {};
    other.hwnd = ShellHandles.mainWindow;
    other.message = WM_KEYDOWN;
    other.wParam = VK_RETURN;
    EXPECT_FALSE(IsNotificationMessage(&other));
}

TEST_F(MonitorFilesTest, OldTextNamesAreRenamedAndMissingNamesRebuilt)
{
    FingerEntry* old = AddTestEntry("Old", "old@host");
    snprintf(old->monitorFile, sizeof old->monitorFile, "00000007.txt");
    WriteWholeFile(folder + "\\00000007.txt", "old answer");
    FingerEntry* current = AddTestEntry("Current", "c@host");
    snprintf(current->monitorFile, sizeof current->monitorFile, "00000001.htm");
    FingerEntry* nameless = AddTestEntry("Nameless", "n@host");
    nameless->monitorFile[0] = '\0';
    FingerEntry* quick = AddTestEntry("", "q@host", FE_TEMPORARY);
    quick->monitorFile[0] = '\0';

    AnswerBoxes("", IDOK);
    EXPECT_EQ(MigrateMonitorFiles(), 0);
    StopAnsweringBoxes();

    EXPECT_STREQ(old->monitorFile, "00000007.htm");
    EXPECT_FALSE(IsFile(folder + "\\00000007.txt"));
    EXPECT_EQ(ReadWholeFile(folder + "\\00000007.htm"), "old answer");
    EXPECT_STREQ(current->monitorFile, "00000001.htm");
    EXPECT_STREQ(quick->monitorFile, "");
    EXPECT_EQ(strlen(nameless->monitorFile), 12u);
    EXPECT_NE(lstrcmpiA(nameless->monitorFile, "00000001.htm"), 0);
    EXPECT_NE(lstrcmpiA(nameless->monitorFile, "00000007.htm"), 0);

    auto boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Missing Monitor Filename");
    EXPECT_EQ(boxes[0].text, "Rebuilding monitor filename for the entry:\nNameless");
    EXPECT_EQ(boxes[1].caption, "Renamed 1 Finger Entry Monitor Files");
    EXPECT_EQ(boxes[1].text,
              "Ombrelane has detected that you are using finger entries\nfrom version 1.1a or earlier. They have been "
              "renamed to work\nwith this version.");

    // Nothing is left to rename the next time: no message.
    AnswerBoxes("", IDOK);
    MigrateMonitorFiles();
    StopAnsweringBoxes();
    EXPECT_EQ(AnsweredBoxCount(), 0);
}

TEST_F(MonitorFilesTest, RenamingNeverMakesTwoEntriesShareAFile)
{
    FingerEntry* owner = AddTestEntry("Owner", "o@host");
    snprintf(owner->monitorFile, sizeof owner->monitorFile, "00000003.htm");
    WriteWholeFile(folder + "\\00000003.htm", "owner's answer");
    FingerEntry* old = AddTestEntry("Old", "old@host");
    snprintf(old->monitorFile, sizeof old->monitorFile, "00000003.TXT");
    WriteWholeFile(folder + "\\00000003.TXT", "old answer");
    FingerEntry* sneaky = AddTestEntry("Sneaky", "s@host");
    snprintf(sneaky->monitorFile, sizeof sneaky->monitorFile, "..\\x.txt");

    AnswerBoxes("", IDOK);
    MigrateMonitorFiles();
    StopAnsweringBoxes();

    EXPECT_STREQ(owner->monitorFile, "00000003.htm");
    EXPECT_EQ(ReadWholeFile(folder + "\\00000003.htm"), "owner's answer");
    EXPECT_NE(lstrcmpiA(old->monitorFile, "00000003.htm"), 0);
    EXPECT_EQ(ReadWholeFile(MonitorPathOf(old)), "old answer");
    EXPECT_EQ(strchr(sneaky->monitorFile, '\\'), nullptr);
    EXPECT_NE(lstrcmpiA(sneaky->monitorFile, old->monitorFile), 0);

    // "Sneaky" got a new ".htm" name, which is not a rename.
    auto boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Missing Monitor Filename");
    EXPECT_EQ(boxes[0].text, "Rebuilding monitor filename for the entry:\nSneaky");
    EXPECT_EQ(boxes[1].caption, "Renamed 1 Finger Entry Monitor Files");
}

TEST_F(MonitorFilesTest, UnterminatedNameIsRebuiltAndNeverUsed)
{
    FingerEntry* entry = AddTestEntry("Garbled", "g@host", FE_NOTIFY_CHANGES);
    memset(entry->monitorFile, 'A', sizeof entry->monitorFile);
    AnswerBoxes("", IDOK);
    EXPECT_EQ(UpdateMonitorFile(entry, "x", 1), 1);
    EXPECT_EQ(FileCountIn(folder), 0);
    MigrateMonitorFiles();
    StopAnsweringBoxes();
    auto boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Monitor Error");
    EXPECT_EQ(boxes[1].caption, "Missing Monitor Filename");
    EXPECT_STREQ(entry->monitorFile, "00000000.htm");
    EXPECT_EQ(UpdateMonitorFile(entry, "x", 1), 0);
    EXPECT_EQ(ReadWholeFile(MonitorPathOf(entry)), "x");
}

TEST_F(MonitorFilesTest, BuffersHoldTheAnswerSizeAndSixteenBytes)
{
    ASSERT_NE(AnswerBuffer, nullptr);
    ASSERT_NE(CompareBuffer, nullptr);
    EXPECT_NE(AnswerBuffer, CompareBuffer);
    EXPECT_GE(HeapSize(GetProcessHeap(), 0, AnswerBuffer), Settings.maxAllocSize + 16);
    EXPECT_GE(HeapSize(GetProcessHeap(), 0, CompareBuffer), Settings.maxAllocSize + 16);
    AnswerBuffer[Settings.maxAllocSize + 15] = 'x';

    // While the task thread still runs, shutdown leaves them alone.
    JobQueue.JobListMutex = CreateMutexA(nullptr, FALSE, nullptr);
    JobQueue.jobState = 0;
    FreeAnswerBuffers();
    EXPECT_NE(AnswerBuffer, nullptr);
    JobQueue.jobState = JS_THREAD_ENDED;
    FreeAnswerBuffers();
    EXPECT_EQ(AnswerBuffer, nullptr);
    EXPECT_EQ(CompareBuffer, nullptr);
    CloseHandle(JobQueue.JobListMutex);
    JobQueue = {};
}

TEST_F(MonitorFilesTest, CompareBufferUsersWaitForEachOther)
{
    FingerEntry* entry = AddTestEntry("Guarded", "g@host", FE_NOTIFY_CHANGES);
    UpdateMonitorFile(entry, "a", 1);
    LockCompareBuffer();
    std::atomic<bool> done{false};
    std::thread task([&] {
        UpdateMonitorFile(entry, "b", 1);
        done = true;
    });
    Sleep(300);
    EXPECT_FALSE(done);
    EXPECT_EQ(ReadWholeFile(MonitorPathOf(entry)), "a");
    UnlockCompareBuffer();
    task.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(ReadWholeFile(MonitorPathOf(entry)), "b");
    EXPECT_EQ(entry->changed, 1u);
}

TEST_F(MonitorFilesTest, WaitingForTheBufferServesMessagesSentToThisThread)
{
    HWND window = ShellHandles.mainWindow;
    HANDLE locked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<LRESULT> sent{-1};
    std::thread task([&] {
        LockCompareBuffer();
        SetEvent(locked);
        Sleep(100);
        // The main thread is waiting for the buffer meanwhile.
        sent = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
        UnlockCompareBuffer();
    });
    WaitForSingleObject(locked, 5000);
    LockCompareBuffer();
    UnlockCompareBuffer();
    task.join();
    CloseHandle(locked);
    EXPECT_EQ(sent, static_cast<LRESULT>(strlen("Ombrelane test")));
}

// Run as a copy of this program in a folder of its own (see the test below).
TEST(SetUpPathsChild, Run)
{
    char report[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(kChildReportVariable, report, sizeof report);
    if (length == 0 || length >= sizeof report)
        GTEST_SKIP() << "only run as a copy by SetUpPathsBesideTheProgram";
    SetDefaultSettings();
    ShellHandles.instance = GetModuleHandleA(nullptr);
    char clear[8];
    if (GetEnvironmentVariableA(kChildClearLogVariable, clear, sizeof clear) != 0)
        Settings.options |= OPT_CLEAR_LOG_AT_START;
    AnswerBoxes("", IDOK);
    int result = SetUpPaths();
    StopAnsweringBoxes();
    std::ofstream out(report, std::ios::binary | std::ios::trunc);
    out << "result=" << result << "\n";
    out << "program=" << ProgramFolder << "\n";
    out << "monitor=" << MonitorFolder << "\n";
    out << "log=" << Settings.logFile << "\n";
    out << "folder=" << (IsFolder(MonitorFolder) ? 1 : 0) << "\n";
    out << "buffers=" << (AnswerBuffer && CompareBuffer ? 1 : 0) << "\n";
    for (const AnsweredBox& box : AnsweredBoxes())
        out << "box=" << box.caption << "|" << box.text << "\n";
}

std::string RunChildIn(const std::string& programFolder, bool clearLog)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string copy = programFolder + "\\child test.exe";
    EXPECT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
    const std::string report = programFolder + " report.txt";
    DeleteFileA(report.c_str());
    SetEnvironmentVariableA(kChildReportVariable, report.c_str());
    SetEnvironmentVariableA(kChildClearLogVariable, clearLog ? "1" : nullptr);
    std::string command = "\"" + copy + "\" --gtest_filter=SetUpPathsChild.Run";
    // The copy reports through its file; its own console output goes nowhere.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(copy.c_str(), command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                                  nullptr, &startup, &process);
    SetEnvironmentVariableA(kChildReportVariable, nullptr);
    SetEnvironmentVariableA(kChildClearLogVariable, nullptr);
    EXPECT_TRUE(started);
    if (!started)
        return {};
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string text = ReadWholeFile(report);
    DeleteFileA(report.c_str());
    return text;
}

TEST(SetUpPaths, MakesTheMonitorFolderBesideTheProgram)
{
    const std::string base = FreshFolder("setup");
    const std::string programFolder = base + "\\Program Folder";
    CreateDirectoryA(programFolder.c_str(), nullptr);
    WriteWholeFile(programFolder + "\\Ombrelane Log.txt", "old log");

    std::string report = RunChildIn(programFolder, true);
    EXPECT_EQ(report, "result=1\nprogram=" + programFolder + "\\\nmonitor=" + programFolder + "\\Monitor\nlog=" +
                          programFolder + "\\Ombrelane Log.txt\nfolder=1\nbuffers=1\n");
    EXPECT_TRUE(IsFolder(programFolder + "\\Monitor"));
    EXPECT_FALSE(IsFile(programFolder + "\\Ombrelane Log.txt")) << "cleared at start";

    // A second start finds the folder and keeps what is in it.
    WriteWholeFile(programFolder + "\\Monitor\\00000000.htm", "kept");
    WriteWholeFile(programFolder + "\\Ombrelane Log.txt", "log");
    report = RunChildIn(programFolder, false);
    EXPECT_NE(report.find("result=1\n"), std::string::npos) << report;
    EXPECT_EQ(ReadWholeFile(programFolder + "\\Monitor\\00000000.htm"), "kept");
    EXPECT_EQ(ReadWholeFile(programFolder + "\\Ombrelane Log.txt"), "log");
    RemoveFolderTree(base);
}

TEST(SetUpPaths, AFileNamedMonitorIsReportedAndStopsStartUp)
{
    const std::string base = FreshFolder("setup-blocked");
    WriteWholeFile(base + "\\Monitor", "not a folder");
    std::string report = RunChildIn(base, false);
    EXPECT_NE(report.find("result=0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("box=Monitor Error|Couldn't create the monitor subfolder \"" + base + "\\Monitor\".\n"),
              std::string::npos)
        << report;
    RemoveFolderTree(base);
}

}
