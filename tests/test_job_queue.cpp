#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/output_window.h"
#include "shell/status_bar.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

std::vector<FingerEntry*> QueuedEntries()
{
    std::vector<FingerEntry*> entries;
    const Job* previous = nullptr;
    uint32_t count = 0;
    for (const Job* job = JobQueue.jobHead; job; job = job->nextJob, ++count) {
        EXPECT_EQ(job->prevJob, previous);
        entries.push_back(job->entry);
        previous = job;
    }
    EXPECT_EQ(JobQueue.jobTail, previous);
    EXPECT_EQ(count, JobQueue.jobCount);
    return entries;
}

class JobQueueTest : public ::testing::Test {
protected:
    void SetUp() override { StartTestProgram(); }
    void TearDown() override
    {
        StopAnsweringBoxes();
        StopTestProgram();
    }

    // Keeps the task thread inside its current job: it needs the output pane
    // to begin a job, so holding the pane's mutex holds the job active.
    static void HoldTaskThread() { LockOutput(); }
    static void FreeTaskThread() { UnlockOutput(); }
    static bool HeadActive() { return JobQueue.jobHead && (JobQueue.jobHead->jobFlags & JOB_ACTIVE); }
};

TEST_F(JobQueueTest, JobsQueueInOrderAndRunOldestFirst)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    FingerEntry* b = AddTestEntry("B", "b@two");
    PauseJobs();
    StatusDirty = 0;
    EXPECT_EQ(AddJob(JOB_FINGER, a), 0);
    EXPECT_EQ(StatusDirty, 1);
    EXPECT_EQ(AddJob(JOB_WHOIS, b), 0);
    EXPECT_EQ(AddJob(JOB_FINGER, a), 0);
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{a, b, a}));
    EXPECT_EQ(JobQueue.jobHead->jobType, JOB_FINGER);
    EXPECT_EQ(JobQueue.jobHead->nextJob->jobType, JOB_WHOIS);
    EXPECT_EQ(GetJobCount(), 3u);
    PauseJobs();
    ASSERT_TRUE(WaitForJobsDone());
    const std::string finger = std::string("Fingering \"a@one\" \n") + SimulatedFingerAnswer;
    EXPECT_EQ(PaneText(), finger + "Performing WHOIS \"b@two\" \n" + SimulatedWhoisAnswer + finger);
    EXPECT_EQ(a->fingerCount, 2u);
    EXPECT_EQ(b->fingerCount, 1u);
}

TEST_F(JobQueueTest, RefusalsWhileLoadingClosingOrKilling)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    PauseJobs();
    AnswerBoxes("", IDOK);
    SetJobState(0xFFFFFFFFu, JS_LOADING);
    EXPECT_EQ(AddJob(JOB_FINGER, a), 1);
    SetJobState(~static_cast<uint32_t>(JS_LOADING), 0);
    EXPECT_EQ(GetJobCount(), 0u);
    PumpMessagesFor(200);
    EXPECT_EQ(AnsweredBoxCount(), 0);

    // A pending kill refuses with a box, once per attempt. Holding the job
    // list keeps the task thread from finishing the kill meanwhile.
    LockJobList();
    SetJobState(0xFFFFFFFFu, JS_KILLING);
    EXPECT_EQ(AddJob(JOB_FINGER, a), 1);
    EXPECT_EQ(AddJob(JOB_FINGER, a), 1);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    UnlockJobList();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Kill All Jobs");
    EXPECT_EQ(boxes[0].text, "Ombrelane is busy removing the existing jobs.\n\nPlease Wait.");
    SetJobState(~static_cast<uint32_t>(JS_KILLING), 0);

    RequestShutdown();
    EXPECT_EQ(AddJob(JOB_FINGER, a), 1);
    PumpMessagesFor(200);
    EXPECT_EQ(AnsweredBoxCount(), 2);
    EXPECT_EQ(GetJobCount(), 0u);
}

TEST_F(JobQueueTest, KillWhilePausedEmptiesTheQueueAndKeepsThePause)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    PauseJobs();
    for (int i = 0; i < 5; ++i)
        AddJob(JOB_FINGER, a);
    KillAllJobs();
    EXPECT_TRUE(JobQueue.jobState & JS_KILLING);
    ASSERT_TRUE(PumpUntil([] { return !(JobQueue.jobState & JS_KILLING); }, 2000));
    EXPECT_EQ(GetJobCount(), 0u);
    EXPECT_EQ(JobQueue.jobHead, nullptr);
    EXPECT_EQ(JobQueue.jobTail, nullptr);
    EXPECT_TRUE(JobQueue.jobState & JS_PAUSED);
    EXPECT_EQ(a->fingerCount, 0u);
}

TEST_F(JobQueueTest, KillWithEmptyQueueClearsWithinAnIdleTurn)
{
    KillAllJobs();
    EXPECT_TRUE(PumpUntil([] { return !(JobQueue.jobState & JS_KILLING); }, 1000));
    // Kill and pause are ignored while closing.
    RequestShutdown();
    ASSERT_TRUE(PumpUntil([] { return (JobQueue.jobState & JS_THREAD_ENDED) != 0; }, 2000));
    KillAllJobs();
    PauseJobs();
    EXPECT_FALSE(JobQueue.jobState & (JS_KILLING | JS_PAUSED));
}

TEST_F(JobQueueTest, PauseLetsTheRunningJobFinishAndHoldsTheRest)
{
    FingerEntry* entries[3] = {AddTestEntry("1", "one@h"), AddTestEntry("2", "two@h"), AddTestEntry("3", "three@h")};
    HoldTaskThread();
    for (FingerEntry* entry : entries)
        AddJob(JOB_FINGER, entry);
    ASSERT_TRUE(PumpUntil(HeadActive, 2000));
    PauseJobs();
    FreeTaskThread();
    ASSERT_TRUE(PumpUntil([] { return GetJobCount() == 2 && !(JobQueue.jobState & JS_BUSY); }, 5000));
    PumpUntil([] { return false; }, 400);
    EXPECT_EQ(GetJobCount(), 2u);
    EXPECT_EQ(entries[0]->fingerCount, 1u);
    EXPECT_EQ(entries[1]->fingerCount, 0u);
    PauseJobs();
    ASSERT_TRUE(WaitForJobsDone());
    std::string text = PaneText();
    size_t one = text.find("\"one@h\""), two = text.find("\"two@h\""), three = text.find("\"three@h\"");
    ASSERT_NE(three, std::string::npos);
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
}

TEST_F(JobQueueTest, ReleaseEntryJobsWithActiveAndQueuedJobs)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    FingerEntry* b = AddTestEntry("B", "b@two");
    HoldTaskThread();
    AddJob(JOB_FINGER, a);
    AddJob(JOB_FINGER, b);
    AddJob(JOB_FINGER, a);
    AddJob(JOB_FINGER, b);
    ASSERT_TRUE(PumpUntil(HeadActive, 2000));
    // b's jobs are queued, not started: both go silently.
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

TEST_F(JobQueueTest, ViewJobsListsTheQueue)
{
    ViewJobs();
    EXPECT_EQ(PaneText(), "Jobs Pending: 0\n\n");
    SendMessageA(OutputWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));

    FingerEntry* a = AddTestEntry("A", "a@one");
    FingerEntry* b = AddTestEntry("B", "b@two");
    HoldTaskThread();
    AddJob(JOB_FINGER, a);
    AddJob(JOB_WHOIS, b);
    ASSERT_TRUE(PumpUntil(HeadActive, 2000));
    ViewJobs();
    EXPECT_EQ(PaneText(), "Jobs Pending: 2\n"
                          "Job 01. Type: Fingering. Address: a@one(active)\n"
                          "Job 02. Type: Performing WHOIS. Address: b@two\n\n");
    char title[128];
    CurrentJobTitle(title, sizeof title);
    EXPECT_STREQ(title, "A");
    FreeTaskThread();
    ASSERT_TRUE(WaitForJobsDone());
}

TEST_F(JobQueueTest, ShutdownPurgesTheQueueAndEndsTheThread)
{
    FingerEntry* a = AddTestEntry("A", "a@one");
    PauseJobs();
    for (int i = 0; i < 3; ++i)
        AddJob(JOB_FINGER, a);
    EXPECT_EQ(RequestShutdown(), 0);
    ASSERT_TRUE(PumpUntil([] { return (JobQueue.jobState & JS_THREAD_ENDED) != 0; }, 2000));
    EXPECT_EQ(GetJobCount(), 0u);
    EXPECT_EQ(a->fingerCount, 0u);
    ReleaseJobMutexes();
    EXPECT_EQ(JobQueue.JobListMutex, nullptr);
    EXPECT_EQ(JobQueue.JobStateMutex, nullptr);
    EXPECT_EQ(EntryListMutex, nullptr);
}

}
