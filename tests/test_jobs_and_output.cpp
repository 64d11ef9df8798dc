// Where answers come from and where they go: the job queue, the task thread and the schedule, watched through the
// events they report to the window side; and the monitor files, change notices, log and output pane.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "jobs/task_thread.h"
#include "output/answer_buffers.h"
#include "output/change_notification.h"
#include "output/html_output.h"
#include "output/log_file.h"
#include "output/monitor_files.h"
#include "output/monitor_migration.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "ui/entry_commands.h"
#include "support/program_test.h"
#include "support/test_files.h"
#include "support/test_windows.h"

namespace {

// Every event the jobs layer reports, as text, from any thread.
std::mutex eventsMutex;
std::vector<std::string> events;
void (*onQueueChanged)();  // runs on each report that the queue changed
std::atomic<bool> holdStartedJob{false};  // keeps the task thread inside the job it has just taken

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
        [](FingerEntry* entry) {
            Record(std::string("started ") + entry->address);
            while (holdStartedJob)
                Sleep(1);
        },
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
    void TearDown() override
    {
        holdStartedJob = false;
        ProgramFixture::TearDown();
    }
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
    holdStartedJob = true;
    FingerEntryNow(a);
    AddJob(JOB_WHOIS, b);
    FingerEntryNow(a);
    FingerEntryNow(b);
    ASSERT_TRUE(PumpUntil([] { return JobQueue.jobHead && (JobQueue.jobHead->jobFlags & JOB_ACTIVE); }, 10000))
        << "the task thread never took the job";
    ViewJobs();
    EXPECT_EQ(ReleaseEntryJobs(b), 0);
    EXPECT_EQ(ReleaseEntryJobs(a), 1) << "a's first job is active";
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{a, a})) << "a's later job stays queued";
    KillAllJobs();
    // The kill stays pending while the job is held: each attempt meanwhile is refused with a box.
    EXPECT_EQ(FingerEntryNow(a), 1);
    EXPECT_EQ(AddJob(JOB_WHOIS, b), 1);
    holdStartedJob = false;
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

const std::string kNotStored = "Monitor Error: Couldn't update monitor file\n";

// The boxes shown while the step runs, answered with the button; any other box fails the test.
std::string Boxes(const std::function<void()>& step, int button = IDOK)
{
    AnswerBoxes("", button);
    step();
    const std::string texts = BoxTexts();
    AnswerBoxes("", IDOK);
    return texts;
}

// A fresh folder per test with the log and a monitor folder whose name has a blank; logging is on.
struct OutputTest : ProgramFixture<TestProgramOptions{.startTaskThread = false}> {
    std::string base = TempFolder() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string folder = base + "\\Monitor Folder";
    std::string log = base + "\\log.txt";

    void SetUp() override
    {
        ProgramFixture::SetUp();
        Settings.maxAllocSize = 300000;  // past the output pane's default limit
        ASSERT_EQ(SetUpPaths(), 0);
        CreateDirectoryA(base.c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s", folder.c_str());
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        Settings.options |= OPT_LOGGING;
        AnswerBoxes("", IDOK);
    }

    void TearDown() override
    {
        EXPECT_EQ(AnsweredBoxes().size(), 0u) << "unexpected box: " << AnsweredBoxes()[0].text;
        StopAnsweringBoxes();
        ProgramFixture::TearDown();
        RemoveFolderTree(base);
    }
};

TEST_F(OutputTest, AnswerIsStoredWholeAndComparedByteForByte)
{
    FreeAnswerBuffers(true);  // as at shutdown while the task thread still runs
    ASSERT_TRUE(CompareBuffer) << "the buffer went from under the task thread";
    const std::string full(Settings.maxAllocSize, 'x');
    const std::tuple<const char*, bool, std::string, std::string, uint32_t, uint32_t> cases[] = {
        {"first answer", false, "", "hello", FE_NOTIFY_CHANGES, 0},
        {"after an empty file", true, "", "different", FE_NOTIFY_CHANGES, 0},
        {"same answer", true, "abcdef", "abcdef", FE_NOTIFY_CHANGES, 0},
        {"one byte differs", true, "abcdef", "abcdeX", FE_NOTIFY_CHANGES, 1},
        {"old answer is a prefix", true, "abcdeX", "abcdeXtra", FE_NOTIFY_CHANGES, 1},
        {"shorter", true, "abcdeXtra", "abc", FE_NOTIFY_CHANGES, 1},
        {"difference behind a NUL", true, std::string("ab\0d", 4), std::string("ab\0e", 4), FE_NOTIFY_CHANGES, 1},
        {"stored file longer than the buffer", true, full + "more", full, FE_NOTIFY_CHANGES, 1},
        {"without notify nothing is compared", true, "one", "two", 0, 0},
    };
    for (const auto& [name, onFile, previous, answer, flags, changed] : cases) {
        FingerEntry* entry = AddTestEntry(name, "a@b", flags);
        if (onFile)
            WriteWholeFile(MonitorPath(entry), previous);
        ASSERT_EQ(UpdateMonitorFile(entry, answer.data(), static_cast<uint32_t>(answer.size())), 0) << name;
        EXPECT_EQ(entry->changed, changed) << name;
        EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), answer) << name;
    }
}

// An answer whose tail lies in a page that cannot be read makes the write take the readable part and fail.
TEST_F(OutputTest, FailedStoreKeepsTheOldAnswerAndIsReported)
{
    auto* pages = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    DWORD protection;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &protection));
    FingerEntry* entry = AddTestEntry("Kept", "a@b", FE_NOTIFY_CHANGES);
    const std::string path = MonitorPath(entry);
    WriteWholeFile(path, "kept");
    EXPECT_EQ(Boxes([&] { EXPECT_EQ(UpdateMonitorFile(entry, pages + 4000, 200), 1); }), kNotStored);
    VirtualFree(pages, 0, MEM_RELEASE);
    EXPECT_EQ(ReadWholeFile(path), "kept");
    EXPECT_FALSE(IsFile(path + ".new")) << "a side file was left behind";
}

// A change beeps every time but opens one window per entry; Enter (via the main loop's hook) or its entry closes it.
TEST_F(OutputTest, ChangesOpenOneWindowPerEntryAndBeepEveryTime)
{
    StopAnsweringBoxes();  // the notification windows are dialogs too
    OpenNotificationCount = ChangeBeepCount = 0;
    FingerEntry* entry = AddTestEntry("Server status", "status@example.org", FE_NOTIFY_CHANGES);
    FingerEntry* other = AddTestEntry("Other", "o@host", FE_NOTIFY_CHANGES);
    for (const auto& [to, text] : {std::pair{entry, "up"}, {other, "up"}, {entry, "up"}, {entry, "down"},
                                   {other, "down"}, {entry, "up"}}) {
        UpdateMonitorFile(to, text, static_cast<uint32_t>(strlen(text)));
        NotifyChangedEntries();
    }
    EXPECT_EQ(std::pair(ChangeBeepCount, OpenNotificationCount), std::pair(3u, 2u));
    HWND window = entry->notifyWindow;
    EXPECT_EQ(WindowText(GetDlgItem(window, IDC_NOTIFY_TEXT)), "Server status\n(\"status@example.org\")\nhas changed.");
    MSG enter = {GetDlgItem(window, IDC_NOTIFY_OK), WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    EXPECT_TRUE(IsNotificationMessage(&enter));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000)) << "Enter left the window open";
    CloseChangeNotification(other);
    EXPECT_FALSE((entry->flags | other->flags) & FE_NOTIFY_OPEN);
    EXPECT_EQ(OpenNotificationCount, 0u);
}

// Each stored file holds its own name; a renamed file whose new name is taken in any case gets a fresh one.
TEST_F(OutputTest, OldNamesAreRenamedAndUnusableOnesRebuiltWithoutSharingAFile)
{
    const char* names[] = {"00000007.txt", "00000001.htm", "", "00000003.HTM", "00000003.TXT", "..\\x.txt"};
    std::vector<FingerEntry*> entries;
    for (const char* name : names) {
        entries.push_back(AddTestEntry(name[0] ? name : "Nameless", "a@b"));
        snprintf(entries.back()->monitorFile, MONITOR_NAME_SIZE, "%s", name);
        WriteWholeFile(MonitorPath(entries.back()), name);
    }
    AddTestEntry("", "q@host", FE_TEMPORARY)->monitorFile[0] = '\0';
    // A name that is no plain file name is never used.
    EXPECT_EQ(Boxes([&] { EXPECT_EQ(UpdateMonitorFile(entries[5], "x", 1), 1); }), kNotStored);

    const std::string rebuilding = "Missing Monitor Filename: Rebuilding monitor filename for the entry:\n";
    EXPECT_EQ(Boxes([] { EXPECT_EQ(MigrateMonitorFiles(), 0); }),
              rebuilding + "Nameless\n" + rebuilding + "..\\x.txt\n" +
                  "Renamed 2 Finger Entry Monitor Files: Ombrelane has detected that you are using finger entries\n"
                  "from version 1.1a or earlier. They have been renamed to work\nwith this version.\n");
    EXPECT_STREQ(entries[0]->monitorFile, "00000007.htm");
    for (size_t i = 0; i < entries.size(); ++i) {
        const bool rebuilt = i == 2 || i == 5;
        EXPECT_EQ(ReadWholeFile(MonitorPath(entries[i])), rebuilt ? "" : names[i]) << i;
        for (size_t j = i + 1; j < entries.size(); ++j)
            EXPECT_NE(lstrcmpiA(entries[i]->monitorFile, entries[j]->monitorFile), 0) << i << " " << j;
    }
    EXPECT_EQ(Boxes([] { MigrateMonitorFiles(); }), "") << "nothing is left to rename";
}

TEST_F(OutputTest, LogTakesTheBytesOfLoggedEntriesWhileLoggingIsOn)
{
    FingerEntry* quick = AddTestEntry("", "quick@host", FE_TEMPORARY | FE_LOG_OUTPUT);
    UpdateMonitorFile(AddTestEntry("Quiet", "quiet@host"), "quiet", 5);
    UpdateMonitorFile(quick, "a\0b", 3);
    EXPECT_FALSE(IsFile(MonitorPath(quick))) << "a quick finger has no monitor file";
    Settings.options &= ~OPT_LOGGING;
    UpdateMonitorFile(quick, "off", 3);
    EXPECT_EQ(ReadWholeFile(log), std::string("a\0b", 3));

    EXPECT_EQ(Boxes(ClearLogCommand, IDYES), "Clear Log: Are you sure you want to clear the log?\n");
    EXPECT_EQ(Boxes([] { ViewLog(nullptr); }), "View Log: The log is empty\n");
}

// Without automatic detection only FE_HTML_ALWAYS makes an answer HTML.
TEST_F(OutputTest, HtmlIsDetectedByItsTagsWhenAutomaticOrByTheEntrysChoice)
{
    const char* page = "<HTML>page</HTML>";
    const std::tuple<uint32_t, std::string, bool> cases[] = {
        {0, "Plan:\n<HTML><BODY>hi</BODY></HTML>\n", true},
        {0, "plain text", false},
        {0, "closing first </html> then <html>", false},
        {0, "</html><html></HTML>", false},  // the lower-case closing tag decides
        {FE_HTML_NEVER, page, false},
        {FE_HTML_ALWAYS, "no tags at all", true},
        {FE_HTML_ALWAYS | FE_TEMPORARY, page, false},  // a quick finger has no page to open
    };
    for (const bool automatic : {true, false}) {
        Settings.options = automatic ? Settings.options | OPT_AUTO_HTML : Settings.options & ~OPT_AUTO_HTML;
        for (const auto& [flags, answer, html] : cases) {
            const bool expected = html && (automatic || (flags & FE_HTML_ALWAYS));
            EXPECT_EQ(IsHtmlOutput(AddTestEntry("Detect", "a@b", flags), answer.c_str()), expected) << answer;
        }
    }
}

// HTML goes to a stand-in browser with the path whole; anything else is shown in the entry's colour, cut to size.
TEST_F(OutputTest, LastOutputOpensTheBrowserForHtmlAndIsShownAsTextOtherwise)
{
    const std::string record = base + "\\browser record.txt";
    SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
    snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%srecord_command_line.exe", ProgramFolder);
    Settings.options |= OPT_USER_BROWSER | OPT_AUTO_HTML;
    FingerEntry* page = AddTestEntry("Page", "p@host");
    WriteWholeFile(MonitorPath(page), "<html>page</html>");
    EXPECT_EQ(ViewEntryLastOutput(page), 0);
    // Under Wine the record can show before it can be read: wait for its line.
    const std::string started = "\nargv[1]=" + MonitorPath(page) + "\n";
    EXPECT_TRUE(PumpUntil([&] { return ReadWholeFile(record).find(started) != std::string::npos; }, 30000))
        << "the browser was not started with the page: " << ReadWholeFile(record);
    FingerEntry* never = AddTestEntry("Never", "n@host", FE_HTML_NEVER);
    WriteWholeFile(MonitorPath(never), "<HTML>text</HTML>");
    never->colour = RGB(0, 0, 200);
    EXPECT_EQ(ViewEntryLastOutput(never), 0);
    EXPECT_EQ(PaneText(), "<HTML>text</HTML>");
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(OutputWindow, EM_SETSEL, 0, 1);
    SendMessageA(OutputWindow, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.crTextColor, RGB(0, 0, 200));

    const std::string answer(Settings.maxAllocSize + 100, 'y');
    WriteWholeFile(MonitorPath(never), answer);
    EXPECT_EQ(ViewEntryLastOutput(never), 0);
    std::string unbroken = PaneText();  // the pane breaks long lines for display only
    std::erase(unbroken, '\n');
    EXPECT_TRUE(unbroken == "<HTML>text</HTML>" + answer.substr(0, Settings.maxAllocSize));
    EXPECT_GT(SendMessageA(OutputWindow, EM_GETLIMITTEXT, 0, 0), GetWindowTextLengthA(OutputWindow));
}

// A recycled block is replaced and later ones move up; stale positions from before recycling remove nothing.
TEST_F(OutputTest, RecyclingReplacesTheBlockAndStalePositionsNeverCutOtherOutput)
{
    FingerEntry* recycled = AddTestEntry("R", "r@h", FE_RECYCLE_OUTPUT);
    FingerEntry* other = AddTestEntry("O", "o@h", FE_RECYCLE_OUTPUT);
    FingerEntry* keeper = AddTestEntry("K", "k@h");
    const std::tuple<FingerEntry*, uint32_t, const char*, const char*> blocks[] = {
        {recycled, 0, "R1\n", "R1\n"},
        {other, 0, "O1\n", "R1\nO1\n"},
        {keeper, 0, "K1\n", "R1\nO1\nK1\n"},
        {recycled, 0, "R2\n", "O1\nK1\nR2\n"},
        {other, 0, "O2\n", "K1\nR2\nO2\n"},
        {recycled, 0, "R3\n", "K1\nO2\nR3\n"},
        {keeper, 0, "K2\n", "K1\nO2\nR3\nK2\n"},
        {keeper, FE_RECYCLE_OUTPUT, "K3\n", "K1\nO2\nR3\nK2\nK3\n"},
    };
    for (const auto& [entry, recycling, text, pane] : blocks) {
        entry->flags |= recycling;
        BeginEntryOutput(entry);
        AppendEntryText(entry, text);
        EndEntryOutput(entry);
        EXPECT_EQ(PaneText(), pane) << text;
    }
}

// The task thread's text waits for the pane's thread; an entry deleted meanwhile loses none of it, and its block
// ends land in no other record (a new entry most likely takes the freed one).
TEST_F(OutputTest, QueuedBlockOfADeletedEntryIsShownAndItsEndsLandNowhere)
{
    FingerEntry* gone = AddTestEntry("G", "g@h", FE_RECYCLE_OUTPUT);
    std::thread task([gone] {
        BeginEntryOutput(gone);
        HoldEntryText(gone, "G1\n", 3);
        EndEntryOutput(gone);
    });
    task.join();
    ASSERT_EQ(DiscardEntry(gone), 0);
    FingerEntry* fresh = AddTestEntry("F", "f@h");
    EXPECT_EQ(PaneText(), "G1\n");
    EXPECT_EQ(fresh->outputStart, 0);
    EXPECT_EQ(fresh->outputEnd, 0);
}

// A thread holding the pane's mutex sends to the pane while this thread waits for the mutex: the wait must handle
// sent messages. A deadlock cannot be broken, so past its bound the program ends with a message.
VOID CALLBACK EndDeadlocked(PVOID, BOOLEAN)
{
    fprintf(stderr, "MainThreadWaitsNeverDeadlockAgainstAWritingThread: deadlocked\n");
    TerminateProcess(GetCurrentProcess(), 3);
}

TEST_F(OutputTest, MainThreadWaitsNeverDeadlockAgainstAWritingThread)
{
    HANDLE watchdog;
    ASSERT_TRUE(CreateTimerQueueTimer(&watchdog, nullptr, EndDeadlocked, nullptr, 60000, 0, WT_EXECUTEONLYONCE));
    FingerEntry* entry = AddTestEntry("Writer", "w@h");
    std::atomic<bool> held = false;
    std::thread writer([&] {
        LockOutput();
        held = true;
        Sleep(50);  // the main thread waits for the mutex meanwhile
        AppendEntryText(entry, "writer line\n");
        UnlockOutput();
    });
    EXPECT_TRUE(PumpUntil([&] { return held.load(); }, 10000)) << "the other thread never took the mutex";
    AppendEntryText(entry, "main thread line\n");
    writer.join();
    DeleteTimerQueueTimer(nullptr, watchdog, INVALID_HANDLE_VALUE);
    EXPECT_EQ(PaneText(), "writer line\nmain thread line\n");
}

}
