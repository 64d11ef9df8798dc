// Automatic fingering on a schedule and fingering by group, on a clock the
// tests set. No task thread runs, so whatever is queued stays in the queue.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "support/program_fixture.h"

namespace {

// 10:00:00 UTC on a Monday.
constexpr int32_t TEN_O_CLOCK = 1700474400;
int32_t testNow;
// The boxes reported, as "title: text".
std::vector<std::string> boxes;

std::vector<FingerEntry*> QueuedEntries()
{
    std::vector<FingerEntry*> entries;
    for (const Job* job = JobQueue.jobHead; job; job = job->nextJob)
        entries.push_back(job->entry);
    return entries;
}

FingerEntry* AddScheduledEntry(const char* description, uint32_t interval, uint32_t period, uint32_t flags = 0)
{
    FingerEntry* entry = AddTestEntry(description, "user@host", FE_AUTO_FINGER | flags);
    entry->interval = interval;
    entry->period = period;
    return entry;
}

class SchedulingTest : public testing::Test {
protected:
    void SetUp() override
    {
        testNow = TEN_O_CLOCK;
        SetScheduleClock([] { return testNow; });
        SetDefaultSettings();
        boxes.clear();
        SetJobEventHandlers({nullptr, nullptr, nullptr, nullptr, [](const char* text, const char* title) {
                                 boxes.push_back(std::string(title) + ": " + text);
                             }, nullptr});
    }
    void TearDown() override
    {
        SetJobEventHandlers({});
        SetJobState(0, JS_KILLING);
        PurgeJobs();
        FreeAllEntries();
        SetScheduleClock(nullptr);
    }
};

TEST_F(SchedulingTest, DueEntriesAreQueuedInListOrderAndTheNextTurnCountsFromTheTick)
{
    FingerEntry* twoHours = AddScheduledEntry("Two hours", 2, PERIOD_HOURS);
    FingerEntry* plain = AddTestEntry("Plain", "plain@host");
    FingerEntry* always = AddScheduledEntry("Always", 0, PERIOD_MINUTES);
    plain->nextFinger = 12345;
    // The start gives scheduled entries one full interval, and only them.
    ScheduleAllAutoEntries();
    EXPECT_EQ(TEN_O_CLOCK + 7200, twoHours->nextFinger);
    EXPECT_EQ(12345, plain->nextFinger);
    // The second tick is late by three seconds.
    for (int32_t tick : {7199, 7203, 7203 + 7199, 7203 + 7200}) {
        testNow = TEN_O_CLOCK + tick;
        FingerDueEntries();
    }
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{always, twoHours, always, always, twoHours, always}));
    EXPECT_EQ(TEN_O_CLOCK + 7203 + 7200 + 7200, twoHours->nextFinger);
    EXPECT_EQ(testNow, always->nextFinger);
    // Every unit; one outside the table counts as no time at all.
    const std::pair<uint32_t, int32_t> units[] = {
        {PERIOD_MINUTES, 2}, {PERIOD_DAYS, 2880}, {PERIOD_WEEKS, 20160}, {4, 0}, {0xFFFFFFFFu, 0},
    };
    for (const auto& [period, minutes] : units) {
        twoHours->period = period;
        ScheduleNextFinger(twoHours);
        EXPECT_EQ(testNow + minutes * 60, twoHours->nextFinger) << period;
    }
}

// While a kill is pending due turns are skipped quietly, and a group says so
// once. A tick handled while the walk waits for the job list, or shows a box,
// comes from inside the walk and must not walk again: here every change of the
// queue brings one.
TEST_F(SchedulingTest, RefusedTurnsAreSkippedQuietlyAndATickInsideTheWalkDoesNotWalk)
{
    FingerEntry* a = AddScheduledEntry("A", 1, PERIOD_MINUTES, FE_GROUP_MAIL);
    FingerEntry* b = AddScheduledEntry("B", 2, PERIOD_MINUTES, FE_GROUP_MAIL);
    a->nextFinger = TEN_O_CLOCK;
    b->nextFinger = TEN_O_CLOCK - 5;
    SetJobState(0, JS_KILLING);
    FingerDueEntries();
    StartGroupFinger(0);
    EXPECT_EQ(TEN_O_CLOCK + 60, a->nextFinger);
    EXPECT_EQ(TEN_O_CLOCK + 120, b->nextFinger);
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         "Kill All Jobs: Ombrelane is busy removing the existing jobs.\n\nPlease Wait."}));
    SetJobState(0, 0);
    static uint32_t nestedQueued;
    nestedQueued = 0;
    SetJobEventHandlers({nullptr, nullptr, [] {
                             const uint32_t before = GetJobCount();
                             FingerDueEntries();
                             nestedQueued += GetJobCount() - before;
                         }, nullptr, nullptr, nullptr});
    testNow = TEN_O_CLOCK + 120;
    FingerDueEntries();
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{a, b}));
    EXPECT_EQ(0u, nestedQueued);
}

TEST_F(SchedulingTest, GroupsQueueTheirMembersInListOrderOnce)
{
    FingerEntry* one = AddTestEntry("One", "one@host", FE_GROUP_MAIL | FE_GROUP_STATUS);
    FingerEntry* other = AddTestEntry("Other", "other@host", FE_GROUP_STATUS | FE_GROUP_3);
    FingerEntry* two = AddScheduledEntry("Two", 1, PERIOD_HOURS, FE_GROUP_MAIL | FE_GROUP_1);
    two->nextFinger = TEN_O_CLOCK + 99;
    for (int group : {0, 2, 4})
        StartGroupFinger(group);
    FingerEntriesInGroups(FE_GROUP_STATUS | FE_GROUP_3);
    FingerEntriesInGroups(FE_GROUP_2);  // no members, and the command line says nothing
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{one, two, two, other, one, other}));
    EXPECT_EQ(TEN_O_CLOCK + 99, two->nextFinger) << "fingering a group leaves the schedule alone";
    EXPECT_TRUE(boxes.empty());
    snprintf(Settings.groupNames[3], GROUP_NAME_SIZE, "%s", "Night shift");
    for (int group : {3, 5, -1})
        StartGroupFinger(group);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Start Group Finger: No entries have been assigned to the \"Night "
                                               "shift\" group.\n\nUse File->Set Groups to assign entries to groups."}));
    EXPECT_EQ(6u, GetJobCount());
}

}
