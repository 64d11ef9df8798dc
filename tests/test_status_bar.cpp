// The status bar's texts on a real status bar of the stand-in main window.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "jobs/winsock.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "shell/status_bar.h"
#include "support/program_fixture.h"

namespace {

constexpr int32_t NOW = 1700000000;

int32_t TestClock()
{
    return NOW;
}

// Three parts whose right edges lie at half and nine tenths of the width and
// at the right edge, as the main window lays them out.
HWND CreateTestStatusBar(HWND mainWindow)
{
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", mainWindow, IDC_STATUS_BAR);
    RECT client;
    GetClientRect(mainWindow, &client);
    int edges[3] = {client.right * 50 / 100, client.right * 90 / 100, -1};
    SendMessageA(bar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
    return bar;
}

std::string PartText(int part)
{
    LRESULT length = SendMessageA(ShellHandles.statusBar, SB_GETTEXTLENGTHA, static_cast<WPARAM>(part), 0);
    std::string text(LOWORD(length) + 1, '\0');
    SendMessageA(ShellHandles.statusBar, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.data()));
    text.resize(strlen(text.c_str()));
    return text;
}

std::string Countdown(long seconds, const char* description = "Mail")
{
    char text[256];
    FormatCountdown(text, sizeof text, seconds, description);
    return text;
}

FingerEntry* AddScheduledEntry(const char* description, int32_t dueIn)
{
    FingerEntry* entry = AddTestEntry(description, "user@host", FE_AUTO_FINGER);
    entry->nextFinger = NOW + dueIn;
    return entry;
}

class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitCommonControls();
        SetScheduleClock(TestClock);
        StartTestProgram();
        ShellHandles.statusBar = CreateTestStatusBar(ShellHandles.mainWindow);
        ASSERT_NE(ShellHandles.statusBar, nullptr);
        StatusDirty = 0;
    }
    void TearDown() override
    {
        StopTestProgram();
        ShellHandles.statusBar = nullptr;
        SetScheduleClock(nullptr);
    }

    // Keeps a kill pending: the task thread cannot purge while the list is held.
    static void HoldJobList() { LockJobList(); }
    static void FreeJobList() { UnlockJobList(); }
};

TEST(Countdown, WaitsAreShownInTheLargestUnits)
{
    EXPECT_EQ(Countdown(0), "Next auto finger in 0 seconds (Mail)");
    EXPECT_EQ(Countdown(1), "Next auto finger in 1 second (Mail)");
    EXPECT_EQ(Countdown(59), "Next auto finger in 59 seconds (Mail)");
    EXPECT_EQ(Countdown(60), "Next auto finger in 1 minute (Mail)");
    EXPECT_EQ(Countdown(119), "Next auto finger in 1 minute (Mail)");
    EXPECT_EQ(Countdown(120), "Next auto finger in 2 minutes (Mail)");
    EXPECT_EQ(Countdown(3599), "Next auto finger in 59 minutes (Mail)");
    EXPECT_EQ(Countdown(3600), "Next auto finger in 1 hour (Mail)");
    EXPECT_EQ(Countdown(3659), "Next auto finger in 1 hour (Mail)");
    EXPECT_EQ(Countdown(3660), "Next auto finger in 1 hour, 1 minute (Mail)");
    EXPECT_EQ(Countdown(7325), "Next auto finger in 2 hours, 2 minutes (Mail)");
    EXPECT_EQ(Countdown(90000), "Next auto finger in 25 hours (Mail)");
}

TEST(Countdown, NeverWritesPastTheBuffer)
{
    char text[32];
    memset(text, 'z', sizeof text);
    FormatCountdown(text, 24, 7325, "A long description");
    EXPECT_EQ(std::string(text), std::string("Next auto finger in 2 h"));
    EXPECT_EQ(text[24], 'z');
}

TEST_F(StatusBarTest, ReadyWithNothingScheduled)
{
    FingerEntry* off = AddTestEntry("Off", "off@host");
    off->nextFinger = NOW + 60;
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Ombrelane Ready");
    EXPECT_EQ(PartText(2), "Jobs: none");
    EXPECT_STREQ(StatusTipCopy, "Ombrelane Ready");
}

TEST_F(StatusBarTest, CountdownNamesTheNearestEntryNotYetOverdue)
{
    AddScheduledEntry("First", 300);
    AddScheduledEntry("Overdue", -1);
    AddScheduledEntry("Second", 90);
    AddScheduledEntry("Same wait later", 90);
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Next auto finger in 1 minute (Second)");

    FreeAllEntries();
    AddScheduledEntry("Overdue", -1);
    EXPECT_STREQ(MainStatusText(), "Ombrelane Ready");
    AddScheduledEntry("Now", 0);
    EXPECT_STREQ(MainStatusText(), "Next auto finger in 0 seconds (Now)");
}

TEST_F(StatusBarTest, LongDescriptionIsShownWhole)
{
    const std::string description(DESCRIPTION_SIZE - 1, 'd');
    AddScheduledEntry(description.c_str(), 7325);
    UpdateStatusBar();
    const std::string expected = "Next auto finger in 2 hours, 2 minutes (" + description + ")";
    EXPECT_EQ(PartText(0), expected);
    EXPECT_EQ(std::string(StatusTipCopy), expected);
}

TEST_F(StatusBarTest, TipCopyKeepsAtMost255Characters)
{
    const std::string text(300, 't');
    SetStatusText(0, text.c_str());
    EXPECT_EQ(std::string(StatusTipCopy), text.substr(0, 255));
    SetStatusText(0, "short");
    EXPECT_STREQ(StatusTipCopy, "short");
    for (int i = 5; i < STATUS_TIP_SIZE; ++i)
        ASSERT_EQ(StatusTipCopy[i], '\0') << i;
    // Other parts leave the copy alone.
    SetStatusText(1, "progress");
    EXPECT_STREQ(StatusTipCopy, "short");
    EXPECT_EQ(PartText(1), "progress");
}

TEST_F(StatusBarTest, PausedKillingAndClosing)
{
    FingerEntry* entry = AddScheduledEntry("Soon", 30);
    PauseJobs();
    AddJob(JOB_FINGER, entry);
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "All Jobs Paused");
    EXPECT_EQ(PartText(2), "Jobs: 1");

    HoldJobList();
    KillAllJobs();
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Removing All Jobs");
    FreeJobList();
    ASSERT_TRUE(PumpMessagesUntil([] { return !(JobQueue.jobState & JS_KILLING); }, 5000));
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "All Jobs Paused");
    EXPECT_EQ(PartText(2), "Jobs: none");

    PauseJobs();
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Next auto finger in 30 seconds (Soon)");

    RequestShutdown();
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Ombrelane is closing down (removing all jobs)");
}

TEST_F(StatusBarTest, RunningJobIsNamed)
{
    // With the network on, a job waits in its host lookup, whose answer the
    // stand-in main window never passes on, until it is killed.
    Settings.options |= OPT_NETWORK;
    ASSERT_EQ(StartWinsock(), 0);
    auto runUntilKilled = [](uint32_t type, FingerEntry* entry, const char* expected) {
        ASSERT_EQ(AddJob(type, entry), 0);
        ASSERT_TRUE(PumpMessagesUntil([] { return (JobQueue.jobState & JS_RUNNING) != 0; }, 5000));
        UpdateStatusBar();
        EXPECT_EQ(PartText(0), expected);
        EXPECT_EQ(PartText(2), "Jobs: 1");
        KillAllJobs();
        ASSERT_TRUE(WaitForJobsDone());
        ASSERT_TRUE(PumpMessagesUntil([] { return !(JobQueue.jobState & JS_KILLING); }, 5000));
    };
    FingerEntry* entry = AddTestEntry("Plan of the day", "plan@example.test");
    runUntilKilled(JOB_FINGER, entry, "Fingering Plan of the day");
    runUntilKilled(JOB_WHOIS, entry, "Performing WHOIS Plan of the day");
    // A quick finger's entry has no listed description: its address is shown.
    FingerEntry* quick = AddTestEntry("", "quick@example.test", FE_TEMPORARY);
    runUntilKilled(JOB_FINGER, quick, "Fingering quick@example.test");
    StopWinsock();
}

TEST_F(StatusBarTest, RefreshOnlyWhenMarked)
{
    SetStatusText(0, "stale");
    SetStatusText(2, "stale");
    RefreshStatusIfDirty();
    EXPECT_EQ(PartText(0), "stale");

    MarkStatusDirty();
    EXPECT_EQ(StatusDirty, 1);
    EXPECT_EQ(PartText(0), "stale");
    RefreshStatusIfDirty();
    EXPECT_EQ(StatusDirty, 0);
    EXPECT_EQ(PartText(0), "Ombrelane Ready");
    EXPECT_EQ(PartText(2), "Jobs: none");

    // Queueing marks the bar; the refresh shows the count.
    PauseJobs();
    AddJob(JOB_FINGER, AddTestEntry("A", "a@host"));
    EXPECT_EQ(StatusDirty, 1);
    RefreshStatusIfDirty();
    EXPECT_EQ(PartText(2), "Jobs: 1");
}

}
