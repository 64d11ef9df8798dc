// The finger client against scripted finger servers on the loopback hosts.
#include <winsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "jobs/finger_client.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "jobs/winsock.h"
#include "output/monitor_files.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

namespace {

constexpr int FINGER_PORT = 79;

// While set, the stand-in main window keeps lookup completions instead of
// handing them on, so a job stays in its lookup wait.
bool holdLookups = false;
std::vector<std::pair<WPARAM, LPARAM>> heldLookups;

LRESULT CALLBACK StandInMainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOST_LOOKUP_DONE) {
        if (holdLookups)
            heldLookups.emplace_back(wParam, lParam);
        else
            HostLookupDone(wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void StartProgramParts()
{
    ShellHandles.instance = GetModuleHandleA(nullptr);
    ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = StandInMainWindow;
    windowClass.hInstance = ShellHandles.instance;
    windowClass.lpszClassName = "FingerClientTestMain";
    RegisterClassA(&windowClass);
    ShellHandles.mainWindow = CreateWindowExA(0, "FingerClientTestMain", "Finger client test", WS_OVERLAPPEDWINDOW,
                                              0, 0, 640, 480, nullptr, nullptr, ShellHandles.instance, nullptr);
    FetchDefaultEntryFont();
    SetDefaultSettings();
    CreateOutputWindow(ShellHandles.mainWindow);
    SetUpPaths();
    StartWinsock();
    StartTaskThread(ShellHandles.mainWindow);
}

// Every byte in the pane, NULs included.
std::string PaneBytes()
{
    const int length = GetWindowTextLengthA(OutputWindow);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(OutputWindow, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

std::string MonitorPath(const FingerEntry* entry)
{
    char path[PATH_SIZE];
    MonitorFilePath(entry, path, sizeof path);
    return path;
}

// Waits until the queue is empty and a kill has been dealt with.
bool JobsDone(DWORD timeoutMs = 20000)
{
    return PumpUntil([] { return GetJobCount() == 0 && !(JobQueue.jobState & (JS_BUSY | JS_KILLING)); }, timeoutMs);
}

std::string Header(const char* address, bool verbose = false)
{
    return std::string("Fingering \"") + address + "\" " + (verbose ? "(verbose)" : "") + "\n";
}

class FingerClient : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static bool started = false;
        if (!started)
            StartProgramParts();
        started = true;
    }

    void SetUp() override
    {
        ASSERT_NE(AnswerBuffer, nullptr);
        ASSERT_NE(OutputWindow, nullptr);
        if (JobQueue.jobState & JS_THREAD_ENDED) {
            ASSERT_EQ(StartTaskThread(ShellHandles.mainWindow), 0);
        }
        holdLookups = false;
        heldLookups.clear();
        Settings.options = OPT_REMEMBER_POSITION | OPT_NETWORK;
        Settings.networkTimeout = 60;
        UseAnswerSize(65536);
        SetWindowTextA(OutputWindow, "");
    }

    void TearDown() override
    {
        holdLookups = false;
        for (const auto& held : heldLookups)
            HostLookupDone(held.first, held.second);
        heldLookups.clear();
        EXPECT_TRUE(JobsDone());
    }

    // Sends the log to a fresh file and returns its path.
    static std::string LogToFreshFile()
    {
        const std::string log = TempFolder() + "\\finger-client.log";
        DeleteFileA(log.c_str());
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        Settings.options |= OPT_LOGGING;
        return log;
    }

    // Kills every job and expects the queue to be empty at once.
    static void KillAndExpectQuickEnd()
    {
        KillAllJobs();
        const DWORD killed = GetTickCount();
        ASSERT_TRUE(JobsDone(5000));
        EXPECT_LT(GetTickCount() - killed, 1000u);
    }

    static void UseAnswerSize(uint32_t size)
    {
        Settings.maxAllocSize = size;
        ASSERT_EQ(SetUpPaths(), 1);
    }

    // A listed entry whose monitor file holds "previous answer".
    static FingerEntry* NewEntry(const char* address, uint32_t flags = 0)
    {
        FingerEntry* entry = AddTestEntry("Finger client test", address, flags);
        WriteWholeFile(MonitorPath(entry), "previous answer");
        return entry;
    }

    // Fingers the entry and waits until the job is over.
    static void Finger(FingerEntry* entry)
    {
        ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
        ASSERT_TRUE(JobsDone());
    }

};

// The bytes on the wire for every address form, and what is shown and kept.
TEST_F(FingerClient, QueryBytesOfEveryAddressForm)
{
    // With the host in the address the user part can be 117 characters.
    const std::string longUser(117, 'u');
    const std::string longAddress = longUser + "@127.0.0.2";
    ASSERT_EQ(longAddress.size(), 127u);
    struct Case {
        const char* server;
        std::string address;
        uint32_t flags;
        std::string query;
    };
    const Case cases[] = {
        {"127.0.0.2", "alice@127.0.0.2", 0, "alice\r\n"},
        {"127.0.0.2", "alice@127.0.0.2", FE_LONG_OUTPUT, "/W alice\r\n"},
        {"127.0.0.2", "@127.0.0.2", 0, "\r\n"},
        {"127.0.0.2", "@127.0.0.2", FE_LONG_OUTPUT, "/W\r\n"},
        {"127.0.0.3", "alice@relay.example@127.0.0.3", 0, "alice@relay.example\r\n"},
        {"127.0.0.3", "alice@relay.example@127.0.0.3", FE_LONG_OUTPUT, "/W alice@relay.example\r\n"},
        {"127.0.0.2", longAddress, FE_LONG_OUTPUT, "/W " + longUser + "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address + (c.flags ? " (long output)" : ""));
        TestServer server;
        ServerBehaviour behaviour;
        behaviour.answer = "Login: alice\r\nName: Alice Example\r\nNo plan.\r\n";
        ASSERT_EQ(StartTestServer(server, c.server, FINGER_PORT, behaviour), 0);
        SetWindowTextA(OutputWindow, "");
        FingerEntry* entry = NewEntry(c.address.c_str(), c.flags);
        Finger(entry);
        EXPECT_EQ(ServerConnectionCount(server), 1);
        EXPECT_EQ(ServerQuery(server, 0), c.query);
        EXPECT_EQ(PaneBytes(), Header(c.address.c_str(), c.flags != 0) + behaviour.answer + "\n");
        EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), behaviour.answer);
        EXPECT_EQ(entry->fingerCount, 1u);
    }
}

TEST(FingerQuery, LongestUserPartWithLongOutputIs132Bytes)
{
    // A bare user name filling the whole address field is the longest user part.
    const std::string user(127, 'u');
    char query[FINGER_QUERY_SIZE];
    EXPECT_EQ(BuildFingerQuery(query, sizeof query, user.c_str(), true), 132);
    EXPECT_EQ(std::string(query), "/W " + user + "\r\n");
}

TEST_F(FingerClient, BareUserIsFingeredOnTheLocalMachine)
{
    char name[256] = "";
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    FingerEntry* entry = NewEntry("alice");
    if (const hostent* local = gethostbyname(name)) {
        in_addr localAddress;
        memcpy(&localAddress, local->h_addr_list[0], sizeof localAddress);
        TestServer server;
        ServerBehaviour behaviour;
        behaviour.answer = "local answer\r\n";
        ASSERT_EQ(StartTestServer(server, inet_ntoa(localAddress), FINGER_PORT, behaviour), 0);
        Finger(entry);
        EXPECT_EQ(ServerQuery(server, 0), "alice\r\n");
        return;
    }
    // The machine's own name does not resolve in the test network: the job
    // names it in the failure line.
    Finger(entry);
    EXPECT_EQ(PaneBytes(), Header("alice") + "Couldn't locate \"" + name + "\" (11001)\n\n");
    EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
}

// Failures are shown and logged; the previous answer stays.
TEST_F(FingerClient, RefusedConnectionAndUnresolvableHost)
{
    const std::pair<const char*, std::string> cases[] = {
        {"alice@127.0.0.4",
         "*** Error: Found, but couldn't connect to \"alice\" (10061 - \"WSAECONNREFUSED\") ***\n\n"},
        {"alice@no-such-host.example", "Couldn't locate \"no-such-host.example\" (11001)\n\n"},
    };
    for (const auto& [address, failure] : cases) {
        SCOPED_TRACE(address);
        const std::string log = LogToFreshFile();
        SetWindowTextA(OutputWindow, "");
        FingerEntry* entry = NewEntry(address, FE_LOG_OUTPUT);
        Finger(entry);
        EXPECT_EQ(PaneBytes(), Header(address) + failure);
        EXPECT_EQ(ReadWholeFile(log), Header(address) + failure);
        EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
        EXPECT_EQ(entry->fingerCount, 1u);
    }
}

// Buffer size and answer length: a longer answer is cut to the buffer, warned
// about and recorded cut; one exactly as long as the buffer is complete.
class FingerTruncation : public FingerClient, public testing::WithParamInterface<std::pair<uint32_t, uint32_t>> {};

TEST_P(FingerTruncation, LongAnswerIsShownWarnedAndRecorded)
{
    const auto [size, length] = GetParam();
    UseAnswerSize(size);
    const std::string log = LogToFreshFile();
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.generatedBytes = length;
    ASSERT_EQ(StartTestServer(server, "127.0.0.5", FINGER_PORT, behaviour), 0);
    FingerEntry* entry = NewEntry("alice@127.0.0.5", FE_LOG_OUTPUT);
    Finger(entry);

    const std::string kept = GeneratedAnswer(length).substr(0, size);
    char warning[256] = "";
    if (length > size)
        snprintf(warning, sizeof warning,
                 "** Warning: Finger output truncated (more than %u bytes) **\n"
                 "** Increase the memory allocation in Options->Advanced **\n\n",
                 size);
    EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.5") + kept + warning + "\n");
    EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), kept);
    EXPECT_EQ(ReadWholeFile(log), Header("alice@127.0.0.5") + warning + kept);
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, FingerTruncation,
                         testing::Values(std::pair{16384u, 70000u}, std::pair{65536u, 70000u},
                                         std::pair{16384u, 16384u}, std::pair{16384u, 16385u}));

// NUL bytes neither end the answer early nor hide what follows them, whether
// the answer is shown as it comes (in small pieces here) or collected first.
TEST_F(FingerClient, AnswerWithNulBytesIsShownAndKeptWhole)
{
    for (const bool collected : {false, true}) {
        SCOPED_TRACE(collected ? "collected" : "shown as it comes");
        const std::string log = LogToFreshFile();
        if (collected)
            Settings.options |= OPT_AUTO_HTML;
        SetWindowTextA(OutputWindow, "");
        TestServer server;
        ServerBehaviour behaviour;
        behaviour.answer = std::string("Login: alice\0hidden?\r\n\0\0Plan: visible\r\n", 40);
        behaviour.chunkBytes = 7;
        behaviour.chunkDelayMs = 20;
        ASSERT_EQ(StartTestServer(server, "127.0.0.2", FINGER_PORT, behaviour), 0);
        FingerEntry* entry = NewEntry("alice@127.0.0.2", FE_LOG_OUTPUT);
        Finger(entry);
        // Collected answers get no newline of their own.
        EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.2") + behaviour.answer + (collected ? "" : "\n"));
        EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), behaviour.answer);
        if (!collected) {
            EXPECT_EQ(ReadWholeFile(log), Header("alice@127.0.0.2") + behaviour.answer);
        }
    }
}

TEST_F(FingerClient, KillWhileLocatingCancelsTheLookup)
{
    holdLookups = true;
    FingerEntry* entry = NewEntry("alice@127.0.0.2");
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(PumpUntil([] { return !heldLookups.empty(); }, 10000));
    PumpMessagesFor(200);
    KillAndExpectQuickEnd();
    EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.2") + "** cancelled **\n\n");
    EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
}

TEST_F(FingerClient, LookupThatNeverCompletesTimesOut)
{
    Settings.networkTimeout = 1;
    holdLookups = true;
    FingerEntry* entry = NewEntry("alice@127.0.0.2");
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(JobsDone(5000));
    EXPECT_EQ(heldLookups.size(), 1u);
    EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.2") + "Couldn't locate \"127.0.0.2\" (10060 - \"WSAETIMEDOUT\")\n\n");
    EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
}

TEST_F(FingerClient, LateCompletionOfACancelledLookupIsIgnored)
{
    // The first lookup is abandoned by a kill; its completion turns up while
    // the next job waits for its own lookup and must not be taken for it.
    holdLookups = true;
    ASSERT_EQ(AddJob(JOB_FINGER, NewEntry("alice@127.0.0.4")), 0);
    ASSERT_TRUE(PumpUntil([] { return heldLookups.size() == 1; }, 10000));
    KillAllJobs();
    ASSERT_TRUE(JobsDone(5000));

    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "second job\r\n";
    ASSERT_EQ(StartTestServer(server, "127.0.0.2", FINGER_PORT, behaviour), 0);
    SetWindowTextA(OutputWindow, "");
    FingerEntry* entry = NewEntry("bob@127.0.0.2");
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(PumpUntil([] { return heldLookups.size() == 2; }, 10000));
    // The stale completion first: nothing may happen.
    HostLookupDone(heldLookups[0].first, heldLookups[0].second);
    PumpMessagesFor(300);
    EXPECT_EQ(GetJobCount(), 1u);
    EXPECT_EQ(ServerConnectionCount(server), 0);
    // Then the real one.
    holdLookups = false;
    HostLookupDone(heldLookups[1].first, heldLookups[1].second);
    heldLookups.clear();
    ASSERT_TRUE(JobsDone());
    EXPECT_EQ(ServerQuery(server, 0), "bob\r\n");
    EXPECT_EQ(PaneBytes(), Header("bob@127.0.0.2") + behaviour.answer + "\n");
}

TEST_F(FingerClient, LookupWaitDoesNotSpin)
{
    holdLookups = true;
    ASSERT_EQ(AddJob(JOB_FINGER, NewEntry("alice@127.0.0.2")), 0);
    ASSERT_TRUE(PumpUntil([] { return !heldLookups.empty(); }, 10000));
    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelBefore, &userBefore));
    Sleep(1500);
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelAfter, &userAfter));
    auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    const unsigned long long used =
        ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore);
    // 100-ns units: well under a third of the 1.5 s waited.
    EXPECT_LT(used, 5000000ull);
    KillAllJobs();
    ASSERT_TRUE(JobsDone(5000));
}

TEST_F(FingerClient, KillWhileTheServerIsSilent)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.neverAnswer = true;
    ASSERT_EQ(StartTestServer(server, "127.0.0.6", FINGER_PORT, behaviour), 0);
    FingerEntry* entry = NewEntry("alice@127.0.0.6");
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(PumpUntil([&] { return ServerConnectionCount(server) == 1 && ServerQuery(server, 0) == "alice\r\n"; },
                          10000));
    PumpMessagesFor(300);
    KillAndExpectQuickEnd();
    EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.6") + "** Finger cancelled **\n\n");
    EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
    EXPECT_TRUE(PumpUntil([&] { return ServerClosedCount(server) == 1; }, 3000));
}

TEST_F(FingerClient, KillWhileReceivingKeepsWhatWasShownAndRecordsNothing)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.generatedBytes = 64 * 200;
    behaviour.chunkBytes = 64;
    behaviour.chunkDelayMs = 100;
    ASSERT_EQ(StartTestServer(server, "127.0.0.6", FINGER_PORT, behaviour), 0);
    FingerEntry* entry = NewEntry("alice@127.0.0.6");
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    const std::string header = Header("alice@127.0.0.6");
    ASSERT_TRUE(PumpUntil([&] { return PaneBytes().size() >= header.size() + 3 * 64; }, 10000));
    KillAndExpectQuickEnd();
    const std::string pane = PaneBytes();
    const std::string cancelled = "** Finger cancelled **\n\n";
    ASSERT_GT(pane.size(), header.size() + cancelled.size());
    const std::string shown = pane.substr(header.size(), pane.size() - header.size() - cancelled.size());
    EXPECT_EQ(pane.substr(0, header.size()), header);
    EXPECT_EQ(pane.substr(pane.size() - cancelled.size()), cancelled);
    EXPECT_GE(shown.size(), 3u * 64);
    EXPECT_EQ(shown, GeneratedAnswer(64 * 200).substr(0, shown.size()));
    EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
}

// A server silent from the start or falling silent mid-answer is given up
// after the network timeout; what came is kept.
TEST_F(FingerClient, SilentServerTimesOut)
{
    Settings.networkTimeout = 2;
    const std::string failure = "** Winsocket error during finger retrieval (10060 - \"WSAETIMEDOUT\") **\n\n";
    for (const std::string part : {"", "first part\r\n"}) {
        SCOPED_TRACE(part);
        SetWindowTextA(OutputWindow, "");
        TestServer server;
        ServerBehaviour behaviour;
        behaviour.neverAnswer = part.empty();
        behaviour.answer = part;
        behaviour.closeAfterAnswer = false;
        ASSERT_EQ(StartTestServer(server, "127.0.0.7", FINGER_PORT, behaviour), 0);
        FingerEntry* entry = NewEntry("alice@127.0.0.7");
        const DWORD started = GetTickCount();
        ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
        ASSERT_TRUE(JobsDone(10000));
        const DWORD took = GetTickCount() - started;
        EXPECT_GE(took, 1900u);
        EXPECT_LT(took, 5000u);
        if (part.empty()) {
            EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.7") + failure);
            EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
        } else {
            EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.7") + part + failure + "\n");
            EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), part);
        }
    }
}

// A listener whose accept queue is full: further connects get no answer at
// all, so they hang until given up.
struct FullListener {
    SOCKET listener = INVALID_SOCKET;
    std::vector<SOCKET> fillers;
    ~FullListener()
    {
        for (SOCKET filler : fillers)
            closesocket(filler);
        if (listener != INVALID_SOCKET)
            closesocket(listener);
    }
};

bool MakeFullListener(FullListener& full, const char* address)
{
    full.listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(FINGER_PORT);
    local.sin_addr.s_addr = inet_addr(address);
    if (bind(full.listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(full.listener, 0) != 0)
        return false;
    for (int i = 0; i < 4; ++i) {
        SOCKET filler = socket(AF_INET, SOCK_STREAM, 0);
        u_long nonBlocking = 1;
        ioctlsocket(filler, FIONBIO, &nonBlocking);
        connect(filler, reinterpret_cast<sockaddr*>(&local), sizeof local);
        full.fillers.push_back(filler);
    }
    Sleep(200);
    // Check that one more connect really hangs.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    u_long nonBlocking = 1;
    ioctlsocket(probe, FIONBIO, &nonBlocking);
    connect(probe, reinterpret_cast<sockaddr*>(&local), sizeof local);
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(probe, &writable);
    FD_SET(probe, &failed);
    timeval wait = {0, 500000};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    closesocket(probe);
    return ready == 0;
}

TEST_F(FingerClient, HangingConnectTimesOut)
{
    FullListener full;
    if (!MakeFullListener(full, "127.0.0.8"))
        GTEST_SKIP() << "a hanging connect cannot be arranged here";
    Settings.networkTimeout = 2;
    FingerEntry* entry = NewEntry("alice@127.0.0.8");
    const DWORD started = GetTickCount();
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(JobsDone(10000));
    EXPECT_LT(GetTickCount() - started, 5000u);
    EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.8") +
                               "*** Error: Found, but couldn't connect to \"alice\" (10060 - \"WSAETIMEDOUT\") "
                               "***\n\n");
    EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
}

TEST_F(FingerClient, KillDuringAHangingConnect)
{
    FullListener full;
    if (!MakeFullListener(full, "127.0.0.9"))
        GTEST_SKIP() << "a hanging connect cannot be arranged here";
    FingerEntry* entry = NewEntry("alice@127.0.0.9");
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    PumpMessagesFor(1000);
    ASSERT_EQ(GetJobCount(), 1u);
    KillAndExpectQuickEnd();
    EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.9") + "** Finger cancelled **\n\n");
}

TEST_F(FingerClient, ClosingWhileASilentServerHoldsTheJob)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.neverAnswer = true;
    ASSERT_EQ(StartTestServer(server, "127.0.0.6", FINGER_PORT, behaviour), 0);
    FingerEntry* entry = NewEntry("alice@127.0.0.6");
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_EQ(AddJob(JOB_FINGER, entry), 0);
    ASSERT_TRUE(PumpUntil([&] { return ServerQuery(server, 0) == "alice\r\n"; }, 10000));
    RequestShutdown();
    const DWORD closing = GetTickCount();
    ASSERT_TRUE(PumpUntil([] { return (JobQueue.jobState & JS_THREAD_ENDED) != 0; }, 5000));
    EXPECT_LT(GetTickCount() - closing, 1000u);
    EXPECT_EQ(GetJobCount(), 0u);
    EXPECT_EQ(ServerConnectionCount(server), 1);
    EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.6") + "** Finger cancelled **\n\n");
    EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
}

}
