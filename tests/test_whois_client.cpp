// The whois client against scripted whois servers on the loopback hosts.
#include <winsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "jobs/whois_client.h"
#include "jobs/winsock.h"
#include "output/monitor_files.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

namespace {

constexpr int WHOIS_PORT = 43;

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
    windowClass.lpszClassName = "WhoisClientTestMain";
    RegisterClassA(&windowClass);
    ShellHandles.mainWindow = CreateWindowExA(0, "WhoisClientTestMain", "Whois client test", WS_OVERLAPPEDWINDOW, 0,
                                              0, 640, 480, nullptr, nullptr, ShellHandles.instance, nullptr);
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

// Waits until the queue is empty and a kill has been dealt with.
bool JobsDone(DWORD timeoutMs = 20000)
{
    return PumpUntil([] { return GetJobCount() == 0 && !(JobQueue.jobState & (JS_BUSY | JS_KILLING)); }, timeoutMs);
}

std::string Header(const char* query)
{
    return std::string("Performing WHOIS \"") + query + "\" \n";
}

std::string UseLog(const char* name)
{
    const std::string log = TempFolder() + "\\" + name;
    DeleteFileA(log.c_str());
    snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
    Settings.options |= OPT_LOGGING;
    return log;
}

class WhoisClient : public testing::Test {
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
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "%s", "127.0.0.3");
        Settings.maxAllocSize = 65536;
        ASSERT_EQ(SetUpPaths(), 1);
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

    // A quick whois entry, freed by the task thread after its job.
    static FingerEntry* NewQuery(const char* text, uint32_t flags = 0)
    {
        return AddTestEntry(text, text, FE_TEMPORARY | flags);
    }

    static void Whois(FingerEntry* entry)
    {
        ASSERT_EQ(AddJob(JOB_WHOIS, entry), 0);
        ASSERT_TRUE(JobsDone());
    }
};

TEST_F(WhoisClient, SendsTheQueryAndShowsTheAnswer)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "Domain Name: EXAMPLE.COM\r\nRegistrar: Example Registrar\r\n";
    behaviour.chunkBytes = 10;
    behaviour.chunkDelayMs = 10;
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    Whois(NewQuery("example.com"));
    EXPECT_EQ(ServerConnectionCount(server), 1);
    EXPECT_EQ(ServerQuery(server, 0), "example.com\r\n");
    EXPECT_EQ(PaneBytes(), Header("example.com") + behaviour.answer + "\n");
}

TEST_F(WhoisClient, AtSignIsPartOfTheQuery)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "No match.\r\n";
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    Whois(NewQuery("alice@127.0.0.2"));
    EXPECT_EQ(ServerQuery(server, 0), "alice@127.0.0.2\r\n");
    EXPECT_EQ(PaneBytes(), Header("alice@127.0.0.2") + behaviour.answer + "\n");
}

TEST_F(WhoisClient, AnswerIsLoggedWhenTheEntryLogs)
{
    const std::string log = UseLog("whois-answer.log");
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = std::string("Domain\0Name: EXAMPLE.COM\r\n", 26);
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    Whois(NewQuery("example.com", FE_LOG_OUTPUT));
    EXPECT_EQ(ReadWholeFile(log), Header("example.com") + behaviour.answer);
}

TEST_F(WhoisClient, AnswerWithNulBytesIsShownCompletely)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = std::string("first\0hidden\r\n\0second line\r\n", 29);
    behaviour.chunkBytes = 5;
    behaviour.chunkDelayMs = 20;
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    Whois(NewQuery("example.com"));
    EXPECT_EQ(PaneBytes(), Header("example.com") + behaviour.answer + "\n");
}

TEST_F(WhoisClient, RefusedConnectionNamesTheQueryAndTheNumber)
{
    const std::string log = UseLog("whois-refused.log");
    Whois(NewQuery("example.com", FE_LOG_OUTPUT));
    const std::string expected =
        Header("example.com") + "*** Error: Found, but couldn't connect to \"example.com\" (10061) ***\n\n";
    EXPECT_EQ(PaneBytes(), expected);
    EXPECT_EQ(ReadWholeFile(log), expected);
}

TEST_F(WhoisClient, UnresolvableServer)
{
    snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "%s", "whois.no-such-host.example");
    Whois(NewQuery("example.com"));
    EXPECT_EQ(PaneBytes(), Header("example.com") + "Couldn't locate \"whois.no-such-host.example\" (11001)\n\n");
}

TEST_F(WhoisClient, LongAnswerIsTruncatedWithItsOwnWarning)
{
    Settings.maxAllocSize = 16384;
    ASSERT_EQ(SetUpPaths(), 1);
    const std::string log = UseLog("whois-truncated.log");
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.generatedBytes = 70000;
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    Whois(NewQuery("example.com", FE_LOG_OUTPUT));
    const std::string kept = GeneratedAnswer(70000).substr(0, 16384);
    const std::string warning = "** Warning: Finger output truncated (> 16384 bytes) **\n"
                                "** Change the memory allocation in Options->Advanced **\n\n";
    EXPECT_EQ(PaneBytes(), Header("example.com") + kept + warning + "\n");
    EXPECT_EQ(ReadWholeFile(log), Header("example.com") + kept + warning);
}

TEST_F(WhoisClient, AnswerThatFillsTheBufferExactlyIsComplete)
{
    Settings.maxAllocSize = 16384;
    ASSERT_EQ(SetUpPaths(), 1);
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.generatedBytes = 16384;
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    Whois(NewQuery("example.com"));
    EXPECT_EQ(PaneBytes(), Header("example.com") + GeneratedAnswer(16384) + "\n");
}

TEST_F(WhoisClient, KillWhileLocating)
{
    holdLookups = true;
    ASSERT_EQ(AddJob(JOB_WHOIS, NewQuery("example.com")), 0);
    ASSERT_TRUE(PumpUntil([] { return !heldLookups.empty(); }, 10000));
    KillAllJobs();
    const DWORD killed = GetTickCount();
    ASSERT_TRUE(JobsDone(5000));
    EXPECT_LT(GetTickCount() - killed, 1000u);
    EXPECT_EQ(PaneBytes(), Header("example.com") + "** cancelled **\n\n");
}

TEST_F(WhoisClient, KillWhileTheServerIsSilent)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.neverAnswer = true;
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    ASSERT_EQ(AddJob(JOB_WHOIS, NewQuery("example.com")), 0);
    ASSERT_TRUE(PumpUntil([&] { return ServerQuery(server, 0) == "example.com\r\n"; }, 10000));
    PumpMessagesFor(200);
    KillAllJobs();
    const DWORD killed = GetTickCount();
    ASSERT_TRUE(JobsDone(5000));
    EXPECT_LT(GetTickCount() - killed, 1000u);
    EXPECT_EQ(PaneBytes(), Header("example.com") + "** WHOIS cancelled **\n\n");
}

TEST_F(WhoisClient, KillWhileReceiving)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.generatedBytes = 64 * 200;
    behaviour.chunkBytes = 64;
    behaviour.chunkDelayMs = 100;
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    ASSERT_EQ(AddJob(JOB_WHOIS, NewQuery("example.com")), 0);
    const std::string header = Header("example.com");
    ASSERT_TRUE(PumpUntil([&] { return PaneBytes().size() >= header.size() + 2 * 64; }, 10000));
    KillAllJobs();
    const DWORD killed = GetTickCount();
    ASSERT_TRUE(JobsDone(5000));
    EXPECT_LT(GetTickCount() - killed, 1000u);
    const std::string pane = PaneBytes();
    const std::string cancelled = "** WHOIS cancelled **\n\n";
    ASSERT_GT(pane.size(), header.size() + cancelled.size());
    EXPECT_EQ(pane.substr(pane.size() - cancelled.size()), cancelled);
    const std::string shown = pane.substr(header.size(), pane.size() - header.size() - cancelled.size());
    EXPECT_EQ(shown, GeneratedAnswer(64 * 200).substr(0, shown.size()));
}

TEST_F(WhoisClient, SilentServerTimesOut)
{
    Settings.networkTimeout = 2;
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.neverAnswer = true;
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    const DWORD started = GetTickCount();
    ASSERT_EQ(AddJob(JOB_WHOIS, NewQuery("example.com")), 0);
    ASSERT_TRUE(JobsDone(10000));
    const DWORD took = GetTickCount() - started;
    EXPECT_GE(took, 1900u);
    EXPECT_LT(took, 5000u);
    EXPECT_EQ(PaneBytes(), Header("example.com") + "** Winsocket error during finger retrieval (10060) **\n\n\n");
}

TEST_F(WhoisClient, ClosingWhileASilentServerHoldsTheJob)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.neverAnswer = true;
    ASSERT_EQ(StartTestServer(server, "127.0.0.3", WHOIS_PORT, behaviour), 0);
    ASSERT_EQ(AddJob(JOB_WHOIS, NewQuery("example.com")), 0);
    ASSERT_TRUE(PumpUntil([&] { return ServerQuery(server, 0) == "example.com\r\n"; }, 10000));
    RequestShutdown();
    const DWORD closing = GetTickCount();
    ASSERT_TRUE(PumpUntil([] { return (JobQueue.jobState & JS_THREAD_ENDED) != 0; }, 5000));
    EXPECT_LT(GetTickCount() - closing, 1000u);
    EXPECT_EQ(PaneBytes(), Header("example.com") + "** WHOIS cancelled **\n\n");
}

}
