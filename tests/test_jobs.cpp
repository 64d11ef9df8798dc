// The job queue, the task thread and the schedule, watched through the events they report to the window side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "jobs/task_thread.h"
#include "output/output_window.h"
#include "support/program_test.h"
#include "support/test_windows.h"

namespace {

// Every event the jobs layer reports, as text, from any thread.
std::mutex eventsMutex;
std::vector<std::string> events;
void (*onQueueChanged)();  // runs on each report that the queue changed

void Record(const std::string& event)
{
    std::lock_guard<std::mutex> lock(eventsMutex);
    events.push_back(event);
}

std::vector<std::string> Events()
{
    std::lock_guard<std::mutex> lock(eventsMutex);
    return events;
}

void InstallRecorder()
{
    events.clear();
    onQueueChanged = [] {};
    SetJobEventHandlers({
        [](FingerEntry* entry) { Record(std::string("started ") + entry->address); },
        [](int part, const char* text) { Record("status " + std::to_string(part) + " " + text); },
        [] { onQueueChanged(); },
        [](FingerEntry* entry) { Record(std::string("row ") + entry->address); },
        [](const char* text, const char* title) { Record(std::string("box ") + title + ": " + text); },
        [] { Record("ended"); },
    });
}

std::vector<FingerEntry*> QueuedEntries()
{
    std::vector<FingerEntry*> entries;
    const Job* previous = nullptr;
    for (const Job* job = JobQueue.jobHead; job; job = job->nextJob) {
        EXPECT_EQ(job->prevJob, previous);
        entries.push_back(job->entry);
        previous = job;
    }
    EXPECT_EQ(JobQueue.jobTail, previous);
    EXPECT_EQ(entries.size(), GetJobCount());
    return entries;
}

const std::string busyBox = "box Kill All Jobs: Ombrelane is busy removing the existing jobs.\n\nPlease Wait.";

struct JobsTest : ProgramFixture<> {
    void SetUp() override
    {
        ProgramFixture::SetUp();
        InstallRecorder();
    }

    // The task thread needs the output pane to begin a job: LockOutput keeps it inside the job it has taken.
    static bool HeadActive() { return JobQueue.jobHead && (JobQueue.jobHead->jobFlags & JOB_ACTIVE); }
};

TEST_F(JobsTest, SimulatedJobsRunOldestFirstAndReportEachStep)
{
    const std::tuple<const char*, uint32_t, uint32_t, std::string> cases[] = {
        {"a@one", JOB_FINGER, 0, "Fingering \"a@one\" \n"},
        {"@host", JOB_FINGER, FE_LONG_OUTPUT, "Fingering \"@host\" (verbose)\n"},
        {"example.com", JOB_WHOIS, FE_ADD_TIME, "Performing WHOIS \"example.com\" \n"},
        {"quick@host", JOB_FINGER, FE_TEMPORARY, "Fingering \"quick@host\" \n"},
    };
    std::vector<FingerEntry*> entries;
    PauseJobs();
    for (const auto& [address, type, flags, header] : cases) {
        entries.push_back(AddTestEntry(address, address, flags));
        ASSERT_EQ(AddJob(type, entries.back()), 0);
    }
    EXPECT_EQ(QueuedEntries(), entries);
    const int32_t before = static_cast<int32_t>(time(nullptr));
    PauseJobs();
    ASSERT_TRUE(WaitForJobsDone());

    std::string shown;
    std::vector<std::string> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& [address, type, flags, header] = cases[i];
        shown += header + (type == JOB_WHOIS ? SimulatedWhoisAnswer : SimulatedFingerAnswer);
        expected.push_back(std::string("started ") + address);
        if (flags & FE_TEMPORARY) {
            expected.push_back("ended");  // and the entry is freed
            continue;
        }
        expected.insert(expected.end(), {std::string("row ") + address, "ended"});
        EXPECT_EQ(entries[i]->fingerCount, 1u);
        if (type == JOB_FINGER)
            EXPECT_GE(entries[i]->lastFingered, before);
        else
            EXPECT_EQ(entries[i]->lastFingered, 0) << "a whois is no finger";
    }
    EXPECT_EQ(PaneText(), shown);
    EXPECT_EQ(Events(), expected);
    EXPECT_EQ(EntryList.count, std::size(cases) - 1) << "the temporary entry is freed";
}

TEST_F(JobsTest, RefusalsWhileLoadingOrClosingAndShutdownPurgesTheQueue)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    PauseJobs();
    SetJobState(0xFFFFFFFFu, JS_LOADING);
    EXPECT_EQ(FingerEntryNow(a), 1);
    SetJobState(~static_cast<uint32_t>(JS_LOADING), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(FingerEntryNow(a), 0);
    EXPECT_EQ(FingerEntryNow(AddTestEntry("", "quick@one", FE_TEMPORARY)), 0);
    EXPECT_EQ(RequestShutdown(), 0);
    EXPECT_EQ(FingerEntryNow(a), 1);
    ASSERT_TRUE(PumpUntil([] { return (GetJobState() & JS_THREAD_ENDED) != 0; }, 2000)) << "the thread never ended";
    EXPECT_EQ(GetJobCount(), 0u);
    EXPECT_EQ(EntryList.count, 1u) << "the purged quick finger took its entry";
    EXPECT_EQ(a->fingerCount, 0u);
    const uint32_t closing = GetJobState();
    KillAllJobs();
    PauseJobs();
    EXPECT_EQ(GetJobState(), closing) << "kill and pause are ignored while closing";
    EXPECT_EQ(Events(), std::vector<std::string>{}) << "these refusals say nothing";
}

// One job held while others wait: listed, kept from release, and killed after its header.
TEST_F(JobsTest, HeldJobIsListedRefusesReleaseAndAKillEndsItAfterItsHeader)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    FingerEntry* b = AddTestEntry("B", "b@two");
    LockOutput();
    FingerEntryNow(a);
    AddJob(JOB_WHOIS, b);
    FingerEntryNow(a);
    FingerEntryNow(b);
    ASSERT_TRUE(PumpUntil(HeadActive, 10000)) << "the task thread never took the job";
    ViewJobs();
    EXPECT_EQ(ReleaseEntryJobs(b), 0);
    EXPECT_EQ(ReleaseEntryJobs(a), 1) << "a's first job is active";
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{a, a})) << "a's later job stays queued";
    KillAllJobs();
    // The kill stays pending while the job is held: each attempt meanwhile is refused with a box.
    EXPECT_EQ(FingerEntryNow(a), 1);
    EXPECT_EQ(AddJob(JOB_WHOIS, b), 1);
    UnlockOutput();
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(PaneText(), "Jobs Pending: 4\n"
                          "Job 01. Type: Fingering. Address: a@one(active)\n"
                          "Job 02. Type: Performing WHOIS. Address: b@two\n"
                          "Job 03. Type: Fingering. Address: a@one\n"
                          "Job 04. Type: Fingering. Address: b@two\n\n"
                          "Fingering \"a@one\" \n");
    EXPECT_EQ(a->fingerCount, 1u);
    EXPECT_EQ(a->lastFingered, 0);
    EXPECT_EQ(b->fingerCount, 0u);
    EXPECT_EQ(std::ranges::count(Events(), busyBox), 2);
}

constexpr int32_t TEN_O_CLOCK = 1700474400;  // 10:00:00 UTC on a Monday
int32_t testNow;

FingerEntry* AddScheduledEntry(const char* description, uint32_t interval, uint32_t period, uint32_t flags = 0)
{
    FingerEntry* entry = AddTestEntry(description, "user@host", FE_AUTO_FINGER | flags);
    entry->interval = interval;
    entry->period = period;
    return entry;
}

// On a clock the tests set. No task thread runs, so whatever is queued stays.
class SchedulingTest : public testing::Test {
protected:
    void SetUp() override
    {
        testNow = TEN_O_CLOCK;
        SetScheduleClock([] { return testNow; });
        SetDefaultSettings();
        InstallRecorder();
    }
    void TearDown() override
    {
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
    ScheduleAllAutoEntries();  // one full interval, for scheduled entries only
    EXPECT_EQ(TEN_O_CLOCK + 7200, twoHours->nextFinger);
    EXPECT_EQ(12345, plain->nextFinger);
    for (int32_t tick : {7199, 7203, 7203 + 7199, 7203 + 7200}) {  // the second tick is 3 s late
        testNow = TEN_O_CLOCK + tick;
        FingerDueEntries();
    }
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{always, twoHours, always, always, twoHours, always}));
    EXPECT_EQ(TEN_O_CLOCK + 7203 + 7200 + 7200, twoHours->nextFinger);
    EXPECT_EQ(testNow, always->nextFinger);
    // Every unit; one outside the table counts as no time at all.
    const std::pair<uint32_t, int32_t> units[] = {
        {PERIOD_MINUTES, 2}, {PERIOD_DAYS, 2880}, {PERIOD_WEEKS, 20160}, {4, 0}, {0xFFFFFFFFu, 0}};
    for (const auto& [period, minutes] : units) {
        twoHours->period = period;
        ScheduleNextFinger(twoHours);
        EXPECT_EQ(testNow + minutes * 60, twoHours->nextFinger) << period;
    }
}

// While a kill is pending due turns are skipped quietly and a group says so once. A tick from inside the walk (a
// wait or a box; here every change of the queue) must not walk again.
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
    EXPECT_EQ(Events(), (std::vector<std::string>{busyBox}));
    SetJobState(0, 0);
    static uint32_t nestedQueued;
    nestedQueued = 0;
    onQueueChanged = [] {
        const uint32_t before = GetJobCount();
        FingerDueEntries();
        nestedQueued += GetJobCount() - before;
    };
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
    snprintf(Settings.groupNames[3], GROUP_NAME_SIZE, "%s", "Night shift");
    for (int group : {3, 5, -1})
        StartGroupFinger(group);
    EXPECT_EQ(Events(), (std::vector<std::string>{"box Start Group Finger: No entries have been assigned to the "
                                                  "\"Night shift\" group.\n\nUse File->Set Groups to assign entries "
                                                  "to groups."}));
    EXPECT_EQ(6u, GetJobCount());
}

}
