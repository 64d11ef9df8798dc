// Automatic fingering on a schedule and fingering by group, on a clock the
// tests set.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

constexpr char BUSY_TEXT[] = "Ombrelane is busy removing the existing jobs.\n\nPlease Wait.";
// 10:00:00 UTC on a Monday.
constexpr int32_t TEN_O_CLOCK = 1700474400;

int32_t testNow = TEN_O_CLOCK;

int32_t TestClock()
{
    return testNow;
}

std::vector<FingerEntry*> QueuedEntries()
{
    std::vector<FingerEntry*> entries;
    LockJobList();
    for (const Job* job = JobQueue.jobHead; job; job = job->nextJob)
        entries.push_back(job->entry);
    UnlockJobList();
    return entries;
}

FingerEntry* AddScheduledEntry(const char* description, uint32_t interval, uint32_t period, uint32_t flags = 0)
{
    FingerEntry* entry = AddTestEntry(description, "user@host", FE_AUTO_FINGER | flags);
    entry->interval = interval;
    entry->period = period;
    return entry;
}

std::string EmptyGroupText(const char* name)
{
    return std::string("No entries have been assigned to the \"") + name +
           "\" group.\n\nUse File->Set Groups to assign entries to groups.";
}

// Jobs are paused throughout, so whatever is queued stays in the queue.
class SchedulingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testNow = TEN_O_CLOCK;
        SetScheduleClock(TestClock);
        StartTestProgram();
        PauseJobs();
    }
    void TearDown() override
    {
        StopTestProgram();
        SetScheduleClock(nullptr);
    }
};

TEST_F(SchedulingTest, IntervalsInEveryUnitAndDueTimes)
{
    FingerEntry* entry = AddScheduledEntry("E", 3, PERIOD_MINUTES);
    // A unit outside the table counts as no time at all.
    const std::pair<uint32_t, uint32_t> units[] = {
        {PERIOD_MINUTES, 3}, {PERIOD_HOURS, 180}, {PERIOD_DAYS, 4320}, {PERIOD_WEEKS, 30240}, {4, 0}, {0xFFFFFFFFu, 0},
    };
    for (const auto& [period, minutes] : units) {
        entry->period = period;
        EXPECT_EQ(AutoIntervalMinutes(entry), minutes) << period;
        ScheduleNextFinger(entry);
        EXPECT_EQ(entry->nextFinger, TEN_O_CLOCK + static_cast<int32_t>(minutes) * 60) << period;
    }

    entry->nextFinger = TEN_O_CLOCK + 1;
    EXPECT_EQ(IsEntryDue(entry), 0);
    entry->nextFinger = TEN_O_CLOCK;
    EXPECT_EQ(IsEntryDue(entry), 1);
    entry->nextFinger = TEN_O_CLOCK - 3600;
    EXPECT_EQ(IsEntryDue(entry), 1);
    entry->flags &= ~FE_AUTO_FINGER;
    EXPECT_EQ(IsEntryDue(entry), 0);
}

TEST_F(SchedulingTest, TwoHourEntryIsQueuedByTheFirstTickAtOrAfterItsTime)
{
    FingerEntry* entry = AddScheduledEntry("Two hours", 2, PERIOD_HOURS);
    FingerEntry* plain = AddTestEntry("P", "p@host");
    plain->nextFinger = 12345;
    // The start gives scheduled entries one full interval, and only them.
    ScheduleAllAutoEntries();
    EXPECT_EQ(entry->nextFinger, TEN_O_CLOCK + 7200);
    EXPECT_EQ(plain->nextFinger, 12345);
    EXPECT_EQ(FingerDueEntries(), 1);
    EXPECT_EQ(GetJobCount(), 0u);

    testNow = TEN_O_CLOCK + 7199;
    FingerDueEntries();
    EXPECT_EQ(GetJobCount(), 0u);

    // The tick is late by three seconds; the next turn counts from it.
    testNow = TEN_O_CLOCK + 7203;
    FingerDueEntries();
    EXPECT_EQ(QueuedEntries(), std::vector<FingerEntry*>{entry});
    EXPECT_EQ(entry->nextFinger, TEN_O_CLOCK + 7203 + 7200);

    testNow = TEN_O_CLOCK + 7203 + 7199;
    FingerDueEntries();
    EXPECT_EQ(GetJobCount(), 1u);
    testNow = TEN_O_CLOCK + 7203 + 7200;
    FingerDueEntries();
    EXPECT_EQ(GetJobCount(), 2u);
}

TEST_F(SchedulingTest, IntervalZeroIsDueOnEveryTick)
{
    FingerEntry* entry = AddScheduledEntry("Always", 0, PERIOD_MINUTES);
    ScheduleAllAutoEntries();
    for (int tick = 1; tick <= 3; ++tick) {
        testNow = TEN_O_CLOCK + tick;
        FingerDueEntries();
        EXPECT_EQ(GetJobCount(), static_cast<uint32_t>(tick));
        EXPECT_EQ(entry->nextFinger, testNow);
    }
}

TEST_F(SchedulingTest, EntriesDueOnOneTickAreQueuedInListOrder)
{
    FingerEntry* first = AddScheduledEntry("First", 5, PERIOD_MINUTES);
    FingerEntry* notScheduled = AddTestEntry("Off", "off@host");
    FingerEntry* second = AddScheduledEntry("Second", 1, PERIOD_MINUTES);
    FingerEntry* later = AddScheduledEntry("Later", 1, PERIOD_HOURS);
    first->nextFinger = TEN_O_CLOCK - 10;
    notScheduled->nextFinger = TEN_O_CLOCK - 10;
    second->nextFinger = TEN_O_CLOCK;
    later->nextFinger = TEN_O_CLOCK + 1;
    FingerDueEntries();
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{first, second}));
    EXPECT_EQ(first->nextFinger, TEN_O_CLOCK + 300);
    EXPECT_EQ(second->nextFinger, TEN_O_CLOCK + 60);
    EXPECT_EQ(later->nextFinger, TEN_O_CLOCK + 1);
    EXPECT_EQ(notScheduled->nextFinger, TEN_O_CLOCK - 10);
}

TEST_F(SchedulingTest, RefusedTurnIsSkipped)
{
    FingerEntry* entry = AddScheduledEntry("E", 1, PERIOD_MINUTES);
    entry->nextFinger = TEN_O_CLOCK;
    BoxAnswerer answerer("", IDOK);
    SetJobState(0xFFFFFFFFu, JS_LOADING);
    FingerDueEntries();
    SetJobState(~static_cast<uint32_t>(JS_LOADING), 0);
    EXPECT_EQ(GetJobCount(), 0u);
    EXPECT_EQ(entry->nextFinger, TEN_O_CLOCK + 60);
    EXPECT_EQ(AnsweredBoxCount(), 0);
}

TEST_F(SchedulingTest, PendingKillSkipsDueEntriesQuietlyAndGroupFingerSaysSoOnce)
{
    FingerEntry* a = AddScheduledEntry("A", 1, PERIOD_MINUTES, FE_GROUP_MAIL);
    FingerEntry* b = AddScheduledEntry("B", 2, PERIOD_MINUTES, FE_GROUP_MAIL);
    AddTestEntry("C", "c@host", FE_GROUP_MAIL);
    a->nextFinger = TEN_O_CLOCK;
    b->nextFinger = TEN_O_CLOCK - 5;

    // Holding the job list keeps the task thread from finishing the kill.
    BoxAnswerer answerer("", IDOK);
    LockJobList();
    SetJobState(0xFFFFFFFFu, JS_KILLING);
    FingerDueEntries();
    FingerDueEntries();
    EXPECT_EQ(AnsweredBoxCount(), 0);
    EXPECT_EQ(a->nextFinger, TEN_O_CLOCK + 60);
    EXPECT_EQ(b->nextFinger, TEN_O_CLOCK + 120);

    StartGroupFinger(0);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    UnlockJobList();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Kill All Jobs");
    EXPECT_EQ(boxes[0].text, BUSY_TEXT);
    EXPECT_EQ(boxes[0].owner, ShellHandles.mainWindow);

    ASSERT_TRUE(PumpUntil([] { return !(JobQueue.jobState & JS_KILLING); }, 5000));
    EXPECT_EQ(GetJobCount(), 0u);
    // Once the kill is over the schedule queues again.
    testNow = TEN_O_CLOCK + 60;
    FingerDueEntries();
    EXPECT_EQ(QueuedEntries(), std::vector<FingerEntry*>{a});
}

TEST_F(SchedulingTest, GroupFingerQueuesTheMembersInListOrder)
{
    FingerEntry* one = AddTestEntry("One", "one@host", FE_GROUP_MAIL);
    AddTestEntry("Other", "other@host", FE_GROUP_STATUS | FE_GROUP_3);
    FingerEntry* two = AddTestEntry("Two", "two@host", FE_GROUP_MAIL | FE_GROUP_1);
    FingerEntry* three = AddScheduledEntry("Three", 1, PERIOD_HOURS, FE_GROUP_MAIL);
    three->nextFinger = TEN_O_CLOCK + 99;
    BoxAnswerer answerer("", IDOK);
    StartGroupFinger(0);
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{one, two, three}));
    EXPECT_EQ(AnsweredBoxCount(), 0);
    // Fingering by hand or by group leaves the schedule alone.
    EXPECT_EQ(three->nextFinger, TEN_O_CLOCK + 99);

    StartGroupFinger(2);
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{one, two, three, two}));
}

TEST_F(SchedulingTest, EmptyGroupIsNamedInTheMessage)
{
    AddTestEntry("Status only", "s@host", FE_GROUP_STATUS);
    BoxAnswerer answerer("", IDOK);
    StartGroupFinger(0);
    snprintf(Settings.groupNames[4], GROUP_NAME_SIZE, "%s", "Night shift");
    StartGroupFinger(4);
    StartGroupFinger(1);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Start Group Finger");
    EXPECT_EQ(boxes[0].text, EmptyGroupText("Finger Mail"));
    EXPECT_EQ(boxes[0].owner, ShellHandles.mainWindow);
    EXPECT_EQ(boxes[1].caption, "Start Group Finger");
    EXPECT_EQ(boxes[1].text, EmptyGroupText("Night shift"));
    EXPECT_EQ(GetJobCount(), 1u);

    // Group numbers outside 0-4 do nothing.
    StartGroupFinger(5);
    StartGroupFinger(-1);
    EXPECT_EQ(AnsweredBoxCount(), 2);
    EXPECT_EQ(GetJobCount(), 1u);
}

TEST_F(SchedulingTest, CommandLineGroupsQueueEachEntryOnce)
{
    FingerEntry* both = AddTestEntry("Both", "both@host", FE_GROUP_STATUS | FE_GROUP_2);
    AddTestEntry("Mail", "mail@host", FE_GROUP_MAIL);
    FingerEntry* status = AddTestEntry("Status", "status@host", FE_GROUP_STATUS);
    FingerEntry* two = AddTestEntry("Two", "two@host", FE_GROUP_2);
    BoxAnswerer answerer("", IDOK);
    FingerEntriesInGroups(FE_GROUP_STATUS | FE_GROUP_2);
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{both, status, two}));
    // No message for a group without members.
    FingerEntriesInGroups(FE_GROUP_1);
    EXPECT_EQ(GetJobCount(), 3u);
    EXPECT_EQ(AnsweredBoxCount(), 0);
}

// A window whose message calls FingerDueEntries, as a timer tick would from
// inside a modal loop or a wait opened by the walk itself.
struct NestedTick {
    bool ran = false;
    int result = 0;
    uint32_t queuedBefore = 0;
    uint32_t queuedAfter = 0;
};
NestedTick nestedTick;
constexpr UINT WM_NESTED_TICK = WM_APP + 7;

LRESULT CALLBACK NestedTickWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_NESTED_TICK)
        return DefWindowProcA(window, message, wParam, lParam);
    nestedTick.ran = true;
    nestedTick.queuedBefore = GetJobCount();
    nestedTick.result = FingerDueEntries();
    nestedTick.queuedAfter = GetJobCount();
    return 0;
}

TEST_F(SchedulingTest, WalkIsNotStartedAgainFromInsideItself)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = NestedTickWindow;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SchedulingNestedTick";
    RegisterClassA(&windowClass);
    HWND probe = CreateWindowExA(0, "SchedulingNestedTick", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(probe, nullptr);

    FingerEntry* a = AddScheduledEntry("A", 1, PERIOD_MINUTES);
    FingerEntry* b = AddScheduledEntry("B", 1, PERIOD_MINUTES);
    ScheduleAllAutoEntries();
    testNow = TEN_O_CLOCK + 60;

    // Another thread holds the job list and sends the tick; the walk's first
    // AddJob handles it while it waits for the list.
    nestedTick = {};
    HANDLE locked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    LRESULT sent = 0;
    std::thread holder([&] {
        LockJobList();
        SetEvent(locked);
        sent = SendMessageTimeoutA(probe, WM_NESTED_TICK, 0, 0, SMTO_NORMAL, 10000, nullptr);
        UnlockJobList();
    });
    ASSERT_EQ(WaitForSingleObject(locked, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(FingerDueEntries(), 1);
    holder.join();
    CloseHandle(locked);

    EXPECT_NE(sent, 0);
    ASSERT_TRUE(nestedTick.ran);
    EXPECT_EQ(nestedTick.result, 1);
    EXPECT_EQ(nestedTick.queuedAfter, nestedTick.queuedBefore);
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{a, b}));

    // The next tick walks again.
    testNow = TEN_O_CLOCK + 120;
    FingerDueEntries();
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{a, b, a, b}));
    DestroyWindow(probe);
}

}
