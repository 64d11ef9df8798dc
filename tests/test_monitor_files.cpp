#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/answer_buffers.h"
#include "output/change_notification.h"
#include "output/log_file.h"
#include "output/monitor_files.h"
#include "output/monitor_migration.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_windows.h"

namespace {

using Texts = std::vector<std::string>;
const std::string kNotStored = "Monitor Error|Couldn't update monitor file";

// Runs the step while every box is answered with the button; "caption|text"
// of each box, oldest first. Outside of it boxes are answered with OK and
// counted as unexpected, so that a fault fails a test instead of hanging it.
Texts Boxes(const std::function<void()>& step, int button = IDOK)
{
    AnswerBoxes("", button);
    step();
    Texts seen;
    for (const AnsweredBox& box : AnsweredBoxes())
        seen.push_back(box.caption + "|" + box.text);
    AnswerBoxes("", IDOK);
    return seen;
}

std::string PathOf(const FingerEntry* entry)
{
    char path[PATH_SIZE];
    return MonitorFilePath(entry, path, sizeof path) == 0 ? path : "";
}

int FilesIn(const std::string& folder)
{
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        count += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    FindClose(search);
    return count;
}

// Every test has a monitor folder and a log of its own, with logging on.
class MonitorFilesTest : public ::testing::Test {
protected:
    std::string folder = TempFolder() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string log = folder + "\\log\\log.txt";

    void SetUp() override
    {
        StartTestProgram({.simulate = true, .startTaskThread = false});
        ASSERT_EQ(SetUpPaths(), 0);
        RemoveFolderTree(folder);
        CreateDirectoryA(folder.c_str(), nullptr);
        CreateDirectoryA((folder + "\\log").c_str(), nullptr);
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s", folder.c_str());
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        Settings.options |= OPT_LOGGING;
        OpenNotificationCount = ChangeBeepCount = 0;
        AnswerBoxes("", IDOK);
    }

    void TearDown() override
    {
        EXPECT_EQ(AnsweredBoxCount(), 0) << "unexpected box: " << AnsweredBoxes()[0].text;
        StopAnsweringBoxes();
        for (FingerEntry* entry = EntryList.head; entry; entry = entry->next)
            CloseChangeNotification(entry);
        StopTestProgram();
        RemoveFolderTree(folder);
    }
};

TEST_F(MonitorFilesTest, AnswerIsStoredWholeAndComparedByteForByte)
{
    const std::string full(Settings.maxAllocSize, 'x');
    // stored: whether a previous answer is on file.
    const struct {
        const char* name;
        bool stored;
        std::string previous, answer;
        uint32_t flags, changed;
    } cases[] = {
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
    for (const auto& c : cases) {
        FingerEntry* entry = AddTestEntry(c.name, "a@b", c.flags);
        if (c.stored)
            WriteWholeFile(PathOf(entry), c.previous);
        ASSERT_EQ(UpdateMonitorFile(entry, c.answer.data(), static_cast<uint32_t>(c.answer.size())), 0) << c.name;
        EXPECT_EQ(entry->changed, c.changed) << c.name;
        EXPECT_EQ(ReadWholeFile(PathOf(entry)), c.answer) << c.name;
    }
    EXPECT_EQ(FilesIn(folder), static_cast<int>(std::size(cases))) << "a side file was left behind";
}

TEST_F(MonitorFilesTest, FailedStoreKeepsTheOldAnswerAndIsReported)
{
    // An answer whose tail lies in a page that cannot be read: the write
    // takes the readable part, then fails.
    auto* pages = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    DWORD protection;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &protection));
    // block: puts the obstacle in place and returns a handle to close after.
    const struct {
        const char *name, *answer;
        uint32_t length;
        std::function<HANDLE(const std::string& path)> block;
    } cases[] = {
        {"the write stops part way", pages + 4000, 200, [](const std::string&) { return HANDLE(); }},
        {"the stored file is held open", "new", 3,
         [](const std::string& path) {
             return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         }},
        {"a folder takes the side file's name", "new", 3,
         [](const std::string& path) { CreateDirectoryA((path + ".new").c_str(), nullptr); return HANDLE(); }},
    };
    for (const auto& c : cases) {
        FingerEntry* entry = AddTestEntry(c.name, "a@b", FE_NOTIFY_CHANGES);
        WriteWholeFile(PathOf(entry), "kept");
        HANDLE held = c.block(PathOf(entry));
        EXPECT_EQ(Boxes([&] { EXPECT_EQ(UpdateMonitorFile(entry, c.answer, c.length), 1); }), Texts{kNotStored})
            << c.name;
        if (held)
            CloseHandle(held);
        EXPECT_EQ(ReadWholeFile(PathOf(entry)), "kept") << c.name;
    }
    EXPECT_EQ(FilesIn(folder), static_cast<int>(std::size(cases))) << "a side file was left behind";
    VirtualFree(pages, 0, MEM_RELEASE);
}

HHOOK refusingHook;

LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam)
{
    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(refusingHook, code, wParam, lParam);
}

TEST_F(MonitorFilesTest, ChangesOpenOneWindowPerEntryAndBeepEveryTime)
{
    StopAnsweringBoxes();  // the notification windows are dialogs too
    FingerEntry* entry = AddTestEntry("Server status", "status@example.org", FE_NOTIFY_CHANGES);
    FingerEntry* other = AddTestEntry("Other", "o@host", FE_NOTIFY_CHANGES);
    auto answer = [](FingerEntry* to, const char* text) {
        UpdateMonitorFile(to, text, strlen(text));
        NotifyChangedEntries();
    };
    for (FingerEntry* each : {entry, other, entry})
        answer(each, "up");
    EXPECT_EQ(ChangeBeepCount + OpenNotificationCount, 0u);
    // A window that cannot be made: the beep sounds, the next change retries.
    refusingHook = SetWindowsHookExA(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
    answer(entry, "down");
    UnhookWindowsHookEx(refusingHook);
    answer(entry, "up");
    answer(other, "down");
    EXPECT_EQ(ChangeBeepCount, 3u);
    EXPECT_EQ(OpenNotificationCount, 2u);
    HWND window = entry->notifyWindow;
    const std::string text = "Server status\n(\"status@example.org\")\nhas changed.";
    EXPECT_EQ(WindowText(GetDlgItem(window, IDC_NOTIFY_TEXT)), text);
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & (WS_VISIBLE | WS_CAPTION | WS_CHILD | WS_POPUP),
              WS_VISIBLE | WS_CAPTION);
    // Changed again while open: a beep, no second window, the text stays.
    snprintf(entry->description, sizeof entry->description, "Renamed");
    answer(entry, "down");
    EXPECT_EQ(ChangeBeepCount, 4u);
    EXPECT_EQ(OpenNotificationCount, 2u);
    EXPECT_EQ(WindowText(GetDlgItem(entry->notifyWindow, IDC_NOTIFY_TEXT)), text);
    // Enter reaches the window through the main loop's hook and closes it;
    // an entry that goes away closes its own.
    MSG enter = {GetDlgItem(window, IDC_NOTIFY_OK), WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    EXPECT_TRUE(IsNotificationMessage(&enter));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000)) << "Enter left the window open";
    CloseChangeNotification(other);
    EXPECT_FALSE((entry->flags | other->flags) & FE_NOTIFY_OPEN);
    EXPECT_EQ(OpenNotificationCount, 0u);
}

TEST_F(MonitorFilesTest, StoringWaitsForTheCompareBufferWhileServingSentMessages)
{
    FingerEntry* entry = AddTestEntry("Guarded", "g@host", FE_NOTIFY_CHANGES);
    UpdateMonitorFile(entry, "a", 1);
    const std::string path = PathOf(entry);
    HANDLE locked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::string seenWhileLocked;
    DWORD_PTR length = 0;
    std::thread viewer([&] {
        LockCompareBuffer();
        SetEvent(locked);
        Sleep(200);  // the main thread waits for the buffer meanwhile
        seenWhileLocked = ReadWholeFile(path);
        SendMessageTimeoutA(ShellHandles.mainWindow, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length);
        UnlockCompareBuffer();
    });
    EXPECT_EQ(WaitForSingleObject(locked, 5000), WAIT_OBJECT_0);
    UpdateMonitorFile(entry, "b", 1);
    viewer.join();
    CloseHandle(locked);
    EXPECT_EQ(seenWhileLocked, "a");
    EXPECT_EQ(length, strlen("Ombrelane test")) << "the waiting thread served no sent message";
    EXPECT_EQ(ReadWholeFile(path), "b");
    EXPECT_EQ(entry->changed, 1u);
}

TEST_F(MonitorFilesTest, OldNamesAreRenamedAndUnusableOnesRebuiltWithoutSharingAFile)
{
    // Each stored file holds its own name.
    const char* names[] = {"00000007.txt", "00000001.htm", "", "00000003.HTM", "00000003.TXT", "..\\x.txt"};
    std::vector<FingerEntry*> entries;
    Texts stored;
    for (const char* name : names) {
        entries.push_back(AddTestEntry(name[0] ? name : "Nameless", "a@b"));
        snprintf(entries.back()->monitorFile, MONITOR_NAME_SIZE, "%s", name);
        stored.push_back(IsPlainFileName(entries.back()->monitorFile) ? name : "");
        if (!stored.back().empty())
            WriteWholeFile(PathOf(entries.back()), name);
    }
    FingerEntry* quick = AddTestEntry("", "q@host", FE_TEMPORARY);
    quick->monitorFile[0] = '\0';
    entries.push_back(AddTestEntry("Garbled", "g@host"));
    memset(entries.back()->monitorFile, 'A', MONITOR_NAME_SIZE);
    // A name that is no plain, terminated file name is never used.
    EXPECT_EQ(Boxes([&] { EXPECT_EQ(UpdateMonitorFile(entries.back(), "x", 1), 1); }), Texts{kNotStored});
    EXPECT_EQ(FilesIn(folder), 4);

    const std::string rebuilding = "Missing Monitor Filename|Rebuilding monitor filename for the entry:\n";
    EXPECT_EQ(Boxes([] { EXPECT_EQ(MigrateMonitorFiles(), 0); }),
              (Texts{rebuilding + "Nameless", rebuilding + "..\\x.txt", rebuilding + "Garbled",
                     "Renamed 2 Finger Entry Monitor Files|Ombrelane has detected that you are using finger entries\n"
                     "from version 1.1a or earlier. They have been renamed to work\nwith this version."}));
    EXPECT_STREQ(entries[0]->monitorFile, "00000007.htm");
    EXPECT_FALSE(IsFile(folder + "\\00000007.txt"));
    EXPECT_STREQ(entries[1]->monitorFile, "00000001.htm");
    EXPECT_STREQ(entries[3]->monitorFile, "00000003.HTM");
    EXPECT_STREQ(quick->monitorFile, "");
    // Names are compared without regard to case: none is given twice.
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(ReadWholeFile(PathOf(entries[i])), i < stored.size() ? stored[i] : "") << i;
        for (size_t j = i + 1; j < entries.size(); ++j)
            EXPECT_NE(lstrcmpiA(entries[i]->monitorFile, entries[j]->monitorFile), 0) << i << " " << j;
    }
    EXPECT_EQ(UpdateMonitorFile(entries.back(), "x", 1), 0);
    EXPECT_EQ(Boxes([] { MigrateMonitorFiles(); }), Texts{}) << "nothing is left to rename";
}

TEST_F(MonitorFilesTest, LoggedTimedFingerLogsHeaderTimeAndAnswer)
{
    ASSERT_EQ(StartTaskThread(ShellHandles.mainWindow), 0);
    FingerEntry* entry = AddTestEntry("Alice", "alice@127.0.0.1", FE_LOG_OUTPUT | FE_ADD_TIME);
    char before[256];
    char after[256];
    FormatTimeStamp(before, sizeof before);
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(WaitForJobsDone()) << "the job did not end";
    FormatTimeStamp(after, sizeof after);
    const std::string header = "Fingering \"alice@127.0.0.1\" \n";
    const std::string logged = ReadWholeFile(log);
    EXPECT_TRUE(logged == header + before + SimulatedFingerAnswer || logged == header + after + SimulatedFingerAnswer)
        << logged;
    EXPECT_EQ(ReadWholeFile(PathOf(entry)), SimulatedFingerAnswer);
}

TEST_F(MonitorFilesTest, BuffersHoldTheAnswerSizeAndOutliveARunningTaskThread)
{
    EXPECT_GE(HeapSize(GetProcessHeap(), 0, AnswerBuffer), Settings.maxAllocSize + 16);
    EXPECT_GE(HeapSize(GetProcessHeap(), 0, CompareBuffer), Settings.maxAllocSize + 16);
    FreeAnswerBuffers(true);
    EXPECT_NE(AnswerBuffer, nullptr);
    FreeAnswerBuffers(false);
    EXPECT_EQ(AnswerBuffer, nullptr);
    EXPECT_EQ(CompareBuffer, nullptr);
}

TEST_F(MonitorFilesTest, LogTakesTheBytesOfLoggedEntriesWhileLoggingIsOn)
{
    WriteWholeFile(log, "old log");
    Settings.options |= OPT_CLEAR_LOG_AT_START;
    ASSERT_EQ(SetUpPaths(), 0);
    EXPECT_FALSE(IsFile(log)) << "cleared at start";
    snprintf(MonitorFolder, sizeof MonitorFolder, "%s", folder.c_str());
    FingerEntry* quick = AddTestEntry("", "quick@host", FE_TEMPORARY | FE_LOG_OUTPUT);
    quick->monitorFile[0] = '\0';
    UpdateMonitorFile(AddTestEntry("Quiet", "quiet@host"), "quiet", 5);
    UpdateMonitorFile(quick, "a\0b", 3);
    EXPECT_EQ(FilesIn(folder), 1) << "a quick finger has no monitor file";
    // A reader may hold the log open while it grows.
    HANDLE reader = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    AppendToLog("c", 1);
    CloseHandle(reader);
    Settings.options &= ~OPT_LOGGING;
    UpdateMonitorFile(quick, "off", 3);
    EXPECT_EQ(ReadWholeFile(log), std::string("a\0bc", 4));

    Settings.options |= OPT_LOGGING;
    const Texts question = {"Clear Log|Are you sure you want to clear the log?"};
    EXPECT_EQ(Boxes(ClearLogCommand, IDNO), question);
    EXPECT_TRUE(IsFile(log));
    EXPECT_EQ(Boxes(ClearLogCommand, IDYES), question);
    EXPECT_EQ(Boxes([] { ViewLog(ShellHandles.mainWindow); }), Texts{"View Log|The log is empty"});
    RemoveDirectoryA((folder + "\\log").c_str());
    EXPECT_EQ(Boxes([&] { UpdateMonitorFile(quick, "lost", 4); }), Texts{}) << "a log that cannot be opened";
}

}
