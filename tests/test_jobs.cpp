// The job queue and the task thread, watched through the events they report
// to the window side; the output pane is the only window they need.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

// Every event the jobs layer reports, as text, from any thread.
std::mutex eventsMutex;
std::vector<std::string> events;

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
    SetJobEventHandlers({
        [](FingerEntry* entry) { Record(std::string("started ") + entry->address); },
        [](int part, const char* text) { Record("status " + std::to_string(part) + " " + text); },
        [] {},
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

class JobsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartTestProgram();
        InstallRecorder();
    }
    void TearDown() override { StopTestProgram(); }

    // The task thread needs the output pane to begin a job, so holding the
    // pane's mutex keeps it inside the job it has taken.
    static void HoldTaskThread() { LockOutput(); }
    static void FreeTaskThread() { UnlockOutput(); }
    static bool HeadActive() { return JobQueue.jobHead && (JobQueue.jobHead->jobFlags & JOB_ACTIVE); }
};

TEST_F(JobsTest, SimulatedJobsRunOldestFirstAndReportEachStep)
{
    struct Case {
        const char* address;
        uint32_t type;
        uint32_t flags;
        std::string shown;
    } cases[] = {
        {"a@one", JOB_FINGER, 0, std::string("Fingering \"a@one\" \n") + SimulatedFingerAnswer},
        {"@host", JOB_FINGER, FE_LONG_OUTPUT, std::string("Fingering \"@host\" (verbose)\n") + SimulatedFingerAnswer},
        {"example.com", JOB_WHOIS, FE_ADD_TIME, std::string("Performing WHOIS \"example.com\" \n") + SimulatedWhoisAnswer},
        {"quick@host", JOB_FINGER, FE_TEMPORARY, std::string("Fingering \"quick@host\" \n") + SimulatedFingerAnswer},
    };
    std::vector<FingerEntry*> entries;
    FingerEntry* listed = AddTestEntry("Listed", "a@b");
    PauseJobs();
    for (const Case& c : cases) {
        entries.push_back(AddTestEntry(c.address, c.address, c.flags));
        ASSERT_EQ(AddJob(c.type, entries.back()), 0);
    }
    EXPECT_EQ(QueuedEntries(), entries);
    const int32_t before = static_cast<int32_t>(time(nullptr));
    PauseJobs();
    ASSERT_TRUE(WaitForJobsDone());

    std::string shown;
    std::vector<std::string> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        shown += cases[i].shown;
        expected.push_back(std::string("started ") + cases[i].address);
        if (!(cases[i].flags & FE_TEMPORARY))
            expected.push_back(std::string("row ") + cases[i].address);
        expected.push_back("ended");
        if (cases[i].flags & FE_TEMPORARY)
            continue;  // freed once it has run
        EXPECT_EQ(entries[i]->fingerCount, 1u);
        if (cases[i].type == JOB_FINGER)
            EXPECT_GE(entries[i]->lastFingered, before);
        else
            EXPECT_EQ(entries[i]->lastFingered, 0) << "a whois is no finger";
    }
    EXPECT_EQ(PaneText(), shown);
    EXPECT_EQ(Events(), expected);
    EXPECT_EQ(EntryList.count, std::size(cases)) << "the temporary entry is freed";
    EXPECT_EQ(EntryList.head, listed);
}

TEST_F(JobsTest, RefusalsWhileLoadingKillingOrClosing)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    PauseJobs();
    SetJobState(0xFFFFFFFFu, JS_LOADING);
    EXPECT_EQ(FingerEntryNow(a), 1);
    SetJobState(~static_cast<uint32_t>(JS_LOADING), 0);

    // A pending kill refuses with a box, once per attempt. Holding the job
    // list keeps the task thread from finishing the kill meanwhile.
    LockJobList();
    SetJobState(0xFFFFFFFFu, JS_KILLING);
    EXPECT_EQ(FingerEntryNow(a), 1);
    EXPECT_EQ(AddJob(JOB_WHOIS, a), 1);
    UnlockJobList();
    SetJobState(~static_cast<uint32_t>(JS_KILLING), 0);

    RequestShutdown();
    EXPECT_EQ(FingerEntryNow(a), 1);
    EXPECT_EQ(GetJobCount(), 0u);
    const std::string busy = "box Kill All Jobs: Ombrelane is busy removing the existing jobs.\n\nPlease Wait.";
    EXPECT_EQ(Events(), (std::vector<std::string>{busy, busy}));
}

TEST_F(JobsTest, KillBeforeDispatchEndsTheJobAfterItsHeader)
{
    FingerEntry* entry = AddTestEntry("Killed", "k@h");
    HoldTaskThread();
    FingerEntryNow(entry);
    FingerEntryNow(entry);
    ASSERT_TRUE(PumpUntil(HeadActive, 10000)) << "the task thread never took the job";
    KillAllJobs();
    FreeTaskThread();
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(PaneText(), "Fingering \"k@h\" \n");
    EXPECT_EQ(entry->fingerCount, 1u);
    EXPECT_EQ(entry->lastFingered, 0);
}

TEST_F(JobsTest, ReleaseEntryJobsWithActiveAndQueuedJobs)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    FingerEntry* b = AddTestEntry("B", "b@two");
    HoldTaskThread();
    for (FingerEntry* entry : {a, b, a, b})
        FingerEntryNow(entry);
    ASSERT_TRUE(PumpUntil(HeadActive, 2000)) << "the task thread never took the job";
    EXPECT_EQ(ReleaseEntryJobs(b), 0);
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{a, a}));
    // a's first job is active: refused, and a's later job stays queued.
    EXPECT_EQ(ReleaseEntryJobs(a), 1);
    EXPECT_EQ(GetJobCount(), 2u);
    FreeTaskThread();
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(a->fingerCount, 2u);
    EXPECT_EQ(b->fingerCount, 0u);
    EXPECT_EQ(ReleaseEntryJobs(a), 0);
}

TEST_F(JobsTest, ViewJobsListsTheQueueAndUnknownTypesAreReported)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    FingerEntry* b = AddTestEntry("B", "b@two");
    HoldTaskThread();
    FingerEntryNow(a);
    AddJob(JOB_WHOIS, b);
    AddJob(7, b);
    ASSERT_TRUE(PumpUntil(HeadActive, 2000)) << "the task thread never took the job";
    ViewJobs();
    char title[128];
    CurrentJobTitle(title, sizeof title);
    EXPECT_STREQ(title, "A");
    FreeTaskThread();
    ASSERT_TRUE(WaitForJobsDone());
    const std::string listed = "Jobs Pending: 3\n"
                               "Job 01. Type: Fingering. Address: a@one(active)\n"
                               "Job 02. Type: Performing WHOIS. Address: b@two\n"
                               "Job 03. Type: . Address: b@two\n\n";
    EXPECT_EQ(PaneText().substr(0, listed.size()), listed);
    const std::vector<std::string> seen = Events();
    EXPECT_NE(std::find(seen.begin(), seen.end(), "box Internal error: Unexpected task type"), seen.end());
    EXPECT_EQ(b->fingerCount, 2u) << "a job of an unknown type still ends";
}

TEST_F(JobsTest, ShutdownPurgesTheQueueAndEndsTheThread)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    PauseJobs();
    for (int i = 0; i < 3; ++i)
        FingerEntryNow(a);
    EXPECT_EQ(RequestShutdown(), 0);
    ASSERT_TRUE(PumpUntil([] { return (GetJobState() & JS_THREAD_ENDED) != 0; }, 2000)) << "the thread never ended";
    EXPECT_EQ(GetJobCount(), 0u);
    EXPECT_EQ(a->fingerCount, 0u);
    const uint32_t closing = GetJobState();
    KillAllJobs();
    PauseJobs();
    EXPECT_EQ(GetJobState(), closing) << "kill and pause are ignored while closing";
    ReleaseJobMutexes();
    EXPECT_EQ(JobQueue.JobListMutex, nullptr);
    EXPECT_EQ(EntryListMutex, nullptr);
}

TEST(TaskThreadStart, EntriesMarkedForStartAreQueuedInListOrder)
{
    StartTestProgram({.simulate = true, .startTaskThread = false});
    FingerEntry* first = AddTestEntry("first", "one@h", FE_FINGER_AT_START);
    AddTestEntry("skip", "skip@h");
    FingerEntry* second = AddTestEntry("second", "two@h", FE_FINGER_AT_START);
    ASSERT_EQ(StartTaskThread(ShellHandles.mainWindow), 0);
    ASSERT_TRUE(WaitForJobsDone());
    std::string text = PaneText();
    EXPECT_LT(text.find("one@h"), text.find("two@h"));
    EXPECT_EQ(text.find("skip@h"), std::string::npos);
    EXPECT_EQ(first->fingerCount + second->fingerCount, 2u);
    StopTestProgram();
}

}
