#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/log_file.h"
#include "output/monitor_files.h"
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

std::string TimeStamp()
{
    char stamp[256];
    FormatTimeStamp(stamp, sizeof stamp);
    return stamp;
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
        RemoveTree(folder);
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
        RemoveTree(folder);
    }
};

TEST_F(LogFileTest, AppendsExactlyTheBytesGiven)
{
    Start(false);
    EXPECT_FALSE(FileExists(log));
    AppendToLog("first\n", 6);
    AppendToLog("a\0b", 3);
    AppendToLog("ignored tail", 0);
    AppendToLog("last", 4);
    EXPECT_EQ(ReadWholeFile(log), std::string("first\na\0blast", 13));
}

TEST_F(LogFileTest, LoggingOffWritesNothing)
{
    Start(false);
    Settings.options &= ~OPT_LOGGING;
    AppendToLog("nothing", 7);
    EXPECT_FALSE(FileExists(log));
}

TEST_F(LogFileTest, AppendsWhileAViewerReadsTheLog)
{
    Start(false);
    AppendToLog("one ", 4);
    HANDLE viewer = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    AppendToLog("two", 3);
    CloseHandle(viewer);
    EXPECT_EQ(ReadWholeFile(log), "one two");
}

TEST_F(LogFileTest, LogThatCannotBeOpenedDropsThePieceSilently)
{
    Start(false);
    snprintf(Settings.logFile, sizeof Settings.logFile, "%s\\no folder\\log.txt", folder.c_str());
    AnswerBoxes("", IDOK);
    AppendToLog("lost", 4);
    StopAnsweringBoxes();
    EXPECT_EQ(AnsweredBoxCount(), 0);
}

TEST_F(LogFileTest, LoggedTimedFingerLogsHeaderTimeAndAnswer)
{
    Start(true);
    FingerEntry* entry = AddTestEntry("Alice", "alice@127.0.0.1", FE_LOG_OUTPUT | FE_ADD_TIME);
    const std::string before = TimeStamp();
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(WaitForJobsDone());
    const std::string after = TimeStamp();

    const std::string header = "Fingering \"alice@127.0.0.1\" \n";
    const std::string answer = SimulatedFingerAnswer;
    const std::string logged = ReadWholeFile(log);
    EXPECT_TRUE(logged == header + before + answer || logged == header + after + answer) << logged;
    // The answer is also the entry's monitor file, byte for byte.
    EXPECT_EQ(ReadWholeFile(std::string(MonitorFolder) + "\\" + entry->monitorFile), answer);

    // A second finger appends.
    AddJob(JOB_FINGER, entry);
    ASSERT_TRUE(WaitForJobsDone());
    const std::string twice = ReadWholeFile(log);
    ASSERT_GT(twice.size(), logged.size());
    EXPECT_EQ(twice.substr(0, logged.size()), logged);
    EXPECT_EQ(twice.substr(logged.size(), header.size()), header);
    EXPECT_EQ(twice.substr(twice.size() - answer.size()), answer);
}

TEST_F(LogFileTest, EntryWithoutLogOutputAndLoggingOffLogNothing)
{
    Start(true);
    FingerEntry* quiet = AddTestEntry("Quiet", "quiet@127.0.0.1", FE_ADD_TIME);
    AddJob(JOB_FINGER, quiet);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_FALSE(FileExists(log));

    Settings.options &= ~OPT_LOGGING;
    FingerEntry* logged = AddTestEntry("Logged", "logged@127.0.0.1", FE_LOG_OUTPUT | FE_ADD_TIME);
    AddJob(JOB_FINGER, logged);
    AddJob(JOB_WHOIS, logged);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_FALSE(FileExists(log));
}

TEST_F(LogFileTest, QuickFingerIsLoggedWithoutAMonitorFile)
{
    Start(true);
    FingerEntry* quick = AddTestEntry("", "quick@127.0.0.1", FE_TEMPORARY | FE_LOG_OUTPUT);
    quick->monitorFile[0] = '\0';
    AddJob(JOB_FINGER, quick);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(ReadWholeFile(log), std::string("Fingering \"quick@127.0.0.1\" \n") + SimulatedFingerAnswer);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(MonitorFolder) + "\\*.htm").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

TEST_F(LogFileTest, ClearLogAsksFirst)
{
    Start(false);
    WriteWholeFile(log, "kept");
    AnswerBoxes("Clear Log", IDNO);
    ClearLogCommand();
    StopAnsweringBoxes();
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].text, "Are you sure you want to clear the log?");
    EXPECT_EQ(AnsweredBoxes()[0].owner, ShellHandles.mainWindow);
    EXPECT_EQ(ReadWholeFile(log), "kept");

    AnswerBoxes("Clear Log", IDYES);
    ClearLogCommand();
    StopAnsweringBoxes();
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_FALSE(FileExists(log));
}

TEST_F(LogFileTest, ViewingAClearedLogSaysItIsEmpty)
{
    Start(false);
    WriteWholeFile(log, "something");
    ClearLog();
    EXPECT_FALSE(FileExists(log));
    AnswerBoxes("", IDOK);
    ViewLog(ShellHandles.mainWindow);
    StopAnsweringBoxes();
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
    StopAnsweringBoxes();
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].caption, "View Log");
    EXPECT_EQ(AnsweredBoxes()[0].text, "Couldn't execute \"" + odd + "\"");
}

}
