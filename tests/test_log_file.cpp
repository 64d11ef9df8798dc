#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/log_file.h"
#include "output/monitor_files.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_windows.h"

namespace {

std::string TimeStamp()
{
    char stamp[256];
    FormatTimeStamp(stamp, sizeof stamp);
    return stamp;
}

std::string Header(const std::string& address)
{
    return "Fingering \"" + address + "\" \n";
}

class LogFileTest : public ::testing::Test {
protected:
    std::string folder;
    std::string log;

    void Start(bool taskThread)
    {
        StartTestProgram({.simulate = true, .startTaskThread = taskThread});
        ASSERT_EQ(SetUpPaths(), 1);
        folder = TempFolder() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveFolderTree(folder);
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string monitor = folder + "\\Monitor";
        CreateDirectoryA(monitor.c_str(), nullptr);
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s", monitor.c_str());
        log = folder + "\\Finger Log.txt";
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        Settings.options |= OPT_LOGGING;
    }

    void TearDown() override
    {
        StopAnsweringBoxes();
        StopTestProgram();
        RemoveFolderTree(folder);
    }

    void Finger(FingerEntry* entry, uint32_t type = JOB_FINGER)
    {
        ASSERT_EQ(AddJob(type, entry), 0);
        ASSERT_TRUE(WaitForJobsDone());
    }
};

TEST_F(LogFileTest, AppendsExactlyTheBytesGivenWhileAViewerReadsTheLog)
{
    Start(false);
    EXPECT_FALSE(IsFile(log));
    AppendToLog("first\n", 6);
    HANDLE viewer = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    AppendToLog("a\0b", 3);
    AppendToLog("ignored tail", 0);
    AppendToLog("last", 4);
    CloseHandle(viewer);
    EXPECT_EQ(ReadWholeFile(log), std::string("first\na\0blast", 13));

    // A log that cannot be opened drops the piece without a word.
    snprintf(Settings.logFile, sizeof Settings.logFile, "%s\\no folder\\log.txt", folder.c_str());
    AnswerBoxes("", IDOK);
    AppendToLog("lost", 4);
    EXPECT_EQ(AnsweredBoxCount(), 0);
}

TEST_F(LogFileTest, LoggedTimedFingerLogsHeaderTimeAndAnswer)
{
    Start(true);
    FingerEntry* entry = AddTestEntry("Alice", "alice@127.0.0.1", FE_LOG_OUTPUT | FE_ADD_TIME);
    const std::string before = TimeStamp();
    Finger(entry);
    const std::string after = TimeStamp();

    const std::string header = Header("alice@127.0.0.1");
    const std::string answer = SimulatedFingerAnswer;
    const std::string logged = ReadWholeFile(log);
    EXPECT_TRUE(logged == header + before + answer || logged == header + after + answer) << logged;
    // The answer is also the entry's monitor file, byte for byte.
    EXPECT_EQ(ReadWholeFile(std::string(MonitorFolder) + "\\" + entry->monitorFile), answer);

    // A second finger appends.
    Finger(entry);
    const std::string twice = ReadWholeFile(log);
    ASSERT_GT(twice.size(), logged.size());
    EXPECT_EQ(twice.substr(0, logged.size()), logged);
    EXPECT_EQ(twice.substr(logged.size(), header.size()), header);
    EXPECT_EQ(twice.substr(twice.size() - answer.size()), answer);
}

TEST_F(LogFileTest, EntryWithoutLogOutputAndLoggingOffLogNothing)
{
    Start(true);
    Finger(AddTestEntry("Quiet", "quiet@127.0.0.1", FE_ADD_TIME));
    EXPECT_FALSE(IsFile(log));

    Settings.options &= ~OPT_LOGGING;
    FingerEntry* logged = AddTestEntry("Logged", "logged@127.0.0.1", FE_LOG_OUTPUT | FE_ADD_TIME);
    Finger(logged);
    Finger(logged, JOB_WHOIS);
    AppendToLog("nothing", 7);
    EXPECT_FALSE(IsFile(log));
}

TEST_F(LogFileTest, QuickFingerIsLoggedWithoutAMonitorFile)
{
    Start(true);
    FingerEntry* quick = AddTestEntry("", "quick@127.0.0.1", FE_TEMPORARY | FE_LOG_OUTPUT);
    quick->monitorFile[0] = '\0';
    Finger(quick);
    EXPECT_EQ(ReadWholeFile(log), Header("quick@127.0.0.1") + SimulatedFingerAnswer);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(MonitorFolder) + "\\*.htm").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

TEST_F(LogFileTest, ClearLogAsksFirstAndViewingAClearedLogSaysItIsEmpty)
{
    Start(false);
    WriteWholeFile(log, "kept");
    AnswerBoxes("Clear Log", IDNO);
    ClearLogCommand();
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].text, "Are you sure you want to clear the log?");
    EXPECT_EQ(AnsweredBoxes()[0].owner, ShellHandles.mainWindow);
    EXPECT_EQ(ReadWholeFile(log), "kept");

    AnswerBoxes("Clear Log", IDYES);
    ClearLogCommand();
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_FALSE(IsFile(log));

    AnswerBoxes("", IDOK);
    ViewLog(ShellHandles.mainWindow);
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].caption, "View Log");
    EXPECT_EQ(AnsweredBoxes()[0].text, "The log is empty");
}

TEST_F(LogFileTest, LogWithoutAProgramIsReported)
{
    Start(false);
    const std::string odd = folder + "\\finger.zqxw";
    snprintf(Settings.logFile, sizeof Settings.logFile, "%s", odd.c_str());
    WriteWholeFile(odd, "x");
    AnswerBoxes("", IDOK);
    ViewLog(ShellHandles.mainWindow);
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].caption, "View Log");
    EXPECT_EQ(AnsweredBoxes()[0].text, "Couldn't execute \"" + odd + "\"");
}

}
