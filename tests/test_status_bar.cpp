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
#include "support/test_windows.h"

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
    const std::pair<long, const char*> table[] = {
        {0, "0 seconds"},   {1, "1 second"},           {59, "59 seconds"},
        {60, "1 minute"},   {119, "1 minute"},         {120, "2 minutes"},
        {3599, "59 minutes"}, {3600, "1 hour"},        {3659, "1 hour"},
        {3660, "1 hour, 1 minute"}, {7325, "2 hours, 2 minutes"}, {90000, "25 hours"},
    };
    for (const auto& [seconds, wait] : table)
        EXPECT_EQ(Countdown(seconds), std::string("Next auto finger in ") + wait + " (Mail)") << seconds;
}

TEST(Countdown, NeverWritesPastTheBuffer)
{
    char text[32];
    memset(text, 'z', sizeof text);
    FormatCountdown(text, 24, 7325, "A long description");
    EXPECT_EQ(std::string(text), std::string("Next auto finger in 2 h"));
    EXPECT_EQ(text[24], 'z');
}

TEST_F(StatusBarTest, CountdownNamesTheNearestEntryNotYetOverdue)
{
    // An entry that is not scheduled has no turn, whatever its due time.
    AddTestEntry("Off", "off@host")->nextFinger = NOW + 60;
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Ombrelane Ready");
    EXPECT_EQ(PartText(2), "Jobs: none");
    EXPECT_STREQ(StatusTipCopy, "Ombrelane Ready");

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

    // A description of full length is shown whole.
    FreeAllEntries();
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
    ASSERT_TRUE(PumpUntil([] { return !(JobQueue.jobState & JS_KILLING); }, 5000));
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
        ASSERT_TRUE(PumpUntil([] { return (JobQueue.jobState & JS_RUNNING) != 0; }, 5000));
        UpdateStatusBar();
        EXPECT_EQ(PartText(0), expected);
        EXPECT_EQ(PartText(2), "Jobs: 1");
        KillAllJobs();
        ASSERT_TRUE(WaitForJobsDone());
        ASSERT_TRUE(PumpUntil([] { return !(JobQueue.jobState & JS_KILLING); }, 5000));
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
