#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/output_window.h"
#include "ui/entry_list_view.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

const std::string kFingerText = "   This is simulated finger output.\n   Uncheck the simulate finger box on\n"
                                "   Tools->Options->Advanced.\n\n";
const std::string kWhoisText = "   This is simulated whois output.\n   Uncheck the simulate finger box on\n"
                               "   Tools->Options->Advanced.\n\n";
const char* const kStampPattern = "On (Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday), [0-3][0-9] of "
                                  "(January|February|March|April|May|June|July|August|September|October|November|"
                                  "December) 2[0-9]{3} at (0[1-9]|1[0-2]):[0-5][0-9] (AM|PM):\n";

class TaskThreadTest : public ::testing::Test {
protected:
    void SetUp() override { StartTestProgram(); }
    void TearDown() override { StopTestProgram(); }
};

TEST_F(TaskThreadTest, SimulatedFingerShowsHeaderAndAnswerAndCounts)
{
    FingerEntry* entry = AddTestEntry("Plain", "someone@somewhere");
    const int32_t before = static_cast<int32_t>(time(nullptr));
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(PaneText(), "Fingering \"someone@somewhere\" \n" + kFingerText);
    EXPECT_EQ(entry->fingerCount, 1u);
    EXPECT_GE(entry->lastFingered, before);
    EXPECT_LE(entry->lastFingered, static_cast<int32_t>(time(nullptr)));
}

TEST_F(TaskThreadTest, LongOutputHeaderIsMarkedVerbose)
{
    FingerEntry* entry = AddTestEntry("Long", "@host", FE_LONG_OUTPUT);
    AddJob(JOB_FINGER, entry);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(PaneText(), "Fingering \"@host\" (verbose)\n" + kFingerText);
}

TEST_F(TaskThreadTest, TimeStampFollowsTheHeader)
{
    FingerEntry* entry = AddTestEntry("Timed", "u@h", FE_ADD_TIME);
    AddJob(JOB_FINGER, entry);
    ASSERT_TRUE(WaitForJobsDone());
    std::string text = PaneText();
    const std::string header = "Fingering \"u@h\" \n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    std::string stamp = text.substr(header.size(), text.size() - header.size() - kFingerText.size());
    EXPECT_TRUE(std::regex_match(stamp, std::regex(kStampPattern))) << stamp;
    EXPECT_EQ(text.substr(text.size() - kFingerText.size()), kFingerText);
}

TEST_F(TaskThreadTest, SimulatedWhoisShowsOnlyHeaderAndTextAndKeepsLastFingered)
{
    FingerEntry* entry = AddTestEntry("Whois", "example.com", FE_ADD_TIME);
    AddJob(JOB_WHOIS, entry);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(PaneText(), "Performing WHOIS \"example.com\" \n" + kWhoisText);
    EXPECT_EQ(entry->lastFingered, 0);
    EXPECT_EQ(entry->fingerCount, 1u);
}

TEST_F(TaskThreadTest, TemporaryEntryIsFreedAndListedOnesResortOnCountColumn)
{
    FingerEntry* listed = AddTestEntry("Listed", "a@b");
    FingerEntry* quick = AddTestEntry("", "quick@host", FE_TEMPORARY);
    ASSERT_EQ(EntryList.count, 2u);
    Settings.sortColumn = 2;
    ResortRequested = 0;
    AddJob(JOB_FINGER, quick);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(EntryList.count, 1u);
    EXPECT_EQ(EntryList.head, listed);
    EXPECT_EQ(ResortRequested, 0);
    AddJob(JOB_FINGER, listed);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(ResortRequested, 1);
    Settings.sortColumn = 0;
    ResortRequested = 0;
    AddJob(JOB_FINGER, listed);
    ASSERT_TRUE(WaitForJobsDone());
    EXPECT_EQ(ResortRequested, 0);
}

TEST_F(TaskThreadTest, UnknownJobTypeIsReportedAndStillCompleted)
{
    FingerEntry* entry = AddTestEntry("Odd", "odd@host");
    StartBoxAnswerer(IDOK, "Internal error");
    AddJob(7, entry);
    ASSERT_TRUE(WaitForJobsDone());
    std::vector<SeenBox> boxes = StopBoxAnswerer();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Unexpected task type");
    EXPECT_EQ(entry->fingerCount, 1u);
    EXPECT_FALSE(JobQueue.jobState & JS_RUNNING);
}

TEST_F(TaskThreadTest, KillBeforeDispatchStillEndsTheJob)
{
    FingerEntry* entry = AddTestEntry("Killed", "k@h");
    LockOutput();
    AddJob(JOB_FINGER, entry);
    AddJob(JOB_FINGER, entry);
    ASSERT_TRUE(PumpUntil([] { return JobQueue.jobHead && (JobQueue.jobHead->jobFlags & JOB_ACTIVE); }, 10000));
    KillAllJobs();
    UnlockOutput();
    ASSERT_TRUE(WaitForJobsDone());
    // The header was written, nothing was dispatched, the job counted, the second never ran.
    EXPECT_EQ(PaneText(), "Fingering \"k@h\" \n");
    EXPECT_EQ(entry->fingerCount, 1u);
    EXPECT_EQ(entry->lastFingered, 0);
}

TEST(TaskThreadStart, EntriesMarkedForStartAreQueuedInListOrder)
{
    StartTestProgram({.simulate = true, .startTaskThread = false});
    FingerEntry* first = AddTestEntry("first", "one@h", FE_FINGER_AT_START);
    AddTestEntry("skip", "skip@h");
    FingerEntry* second = AddTestEntry("second", "two@h", FE_FINGER_AT_START);
    ASSERT_EQ(StartTaskThread(ShellHandles.mainWindow), 0);
    // The thread may already have taken the first job; the queue keeps the order.
    ASSERT_TRUE(WaitForJobsDone());
    std::string text = PaneText();
    EXPECT_LT(text.find("one@h"), text.find("two@h"));
    EXPECT_EQ(text.find("skip@h"), std::string::npos);
    EXPECT_EQ(first->fingerCount, 1u);
    EXPECT_EQ(second->fingerCount, 1u);
    StopTestProgram();
}

TEST(TimeStamp, FormatIsTheCLocaleLine)
{
    char buffer[256];
    time_t now = time(nullptr);
    int length = FormatTimeStamp(buffer, sizeof buffer);
    ASSERT_GT(length, 0);
    EXPECT_EQ(static_cast<size_t>(length), strlen(buffer));
    EXPECT_TRUE(std::regex_match(buffer, std::regex(kStampPattern))) << buffer;
    char expected[256];
    strftime(expected, sizeof expected, "On %A, %d of %B %Y at %I:%M %p:\n", localtime(&now));
    if (time(nullptr) / 60 == now / 60) {
        EXPECT_STREQ(buffer, expected);
    }
    char tiny[8];
    EXPECT_EQ(FormatTimeStamp(tiny, sizeof tiny), 0);
}

}
