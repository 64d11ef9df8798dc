// The finger and whois clients against scripted servers on the loopback hosts,
// and the finger client against a real finger daemon.
#include <winsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "entries/settings.h"
#include "jobs/finger_client.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

namespace {

// While set, lookup completions are kept instead of handed on, so a job
// stays in its lookup wait.
bool holdLookups = false;
std::vector<std::pair<WPARAM, LPARAM>> heldLookups;

LRESULT CALLBACK LookupWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_HOST_LOOKUP_DONE)
        return DefWindowProcA(window, message, wParam, lParam);
    if (holdLookups)
        heldLookups.emplace_back(wParam, lParam);
    else
        HostLookupDone(wParam, lParam);
    return 0;
}

HWND CreateLookupWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = LookupWindowProcedure;
    windowClass.lpszClassName = "QueryClientLookups";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "QueryClientLookups", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

// Every byte in the pane, NULs included.
std::string PaneBytes()
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(OutputWindow)) + 1, '\0');
    const int copied = GetWindowTextA(OutputWindow, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(0, copied)));
    return text;
}

bool JobsDone(DWORD timeoutMs = 20000)
{
    return PumpUntil([] { return GetJobCount() == 0 && !(JobQueue.jobState & (JS_BUSY | JS_KILLING)); }, timeoutMs);
}

// Processor time of the whole process while this thread sleeps, in 100 ns.
unsigned long long ProcessorTimeWhileSleeping(DWORD ms)
{
    auto used = [] {
        FILETIME unused, kernel, user;
        GetProcessTimes(GetCurrentProcess(), &unused, &unused, &kernel, &user);
        return ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
               ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart;
    };
    const unsigned long long before = used();
    Sleep(ms);
    return used() - before;
}

sockaddr_in Loopback(const char* host, int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = inet_addr(host);
    return address;
}

// A listener on 127.0.0.8 that accepts nothing, its queue filled, so that
// one more connect hangs.
struct FullListener {
    std::vector<SOCKET> sockets;
    explicit FullListener(int port)
    {
        const sockaddr_in local = Loopback("127.0.0.8", port);
        const auto* address = reinterpret_cast<const sockaddr*>(&local);
        sockets.push_back(socket(AF_INET, SOCK_STREAM, 0));
        EXPECT_EQ(bind(sockets[0], address, sizeof local), 0);
        EXPECT_EQ(listen(sockets[0], 0), 0);
        for (u_long nonBlocking = 1; sockets.size() < 5;) {
            sockets.push_back(socket(AF_INET, SOCK_STREAM, 0));
            ioctlsocket(sockets.back(), FIONBIO, &nonBlocking);
            connect(sockets.back(), address, sizeof local);
        }
    }
    ~FullListener()
    {
        for (SOCKET socket : sockets)
            closesocket(socket);
    }
};

struct Client {
    const char* name;
    uint32_t jobType;
    int port;
    bool finger;
    // Sent for the entry, named by a failed connect, written on a kill.
    const char* query;
    const char* target;
    const char* cancelled;
    // The warning for an answer longer than the buffer.
    const char* truncated;
};
const Client FINGER = {"Finger", JOB_FINGER, 79, true, "alice\r\n", "alice", "** Finger cancelled **\n\n",
                       "** Warning: Finger output truncated (more than %u bytes) **\n"
                       "** Increase the memory allocation in Options->Advanced **\n\n"};
const Client WHOIS = {"Whois", JOB_WHOIS, 43, false, "example.com\r\n", "example.com", "** WHOIS cancelled **\n\n",
                      "** Warning: Finger output truncated (> %u bytes) **\n"
                      "** Change the memory allocation in Options->Advanced **\n\n"};

class QueryClient : public testing::TestWithParam<Client> {
protected:
    const Client& client = GetParam();
    std::string log = TempFolder() + "\\query-client.log";
    std::string monitor;

    void SetUp() override
    {
        StartTestProgram({.simulate = false});
        static const HWND lookupWindow = (StartWinsock(), CreateLookupWindow());
        SetHostLookupWindow(lookupWindow);
        holdLookups = false;
        heldLookups.clear();
        Settings.options = OPT_NETWORK | OPT_LOGGING;
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        UseAnswerSize(65536);
    }

    void TearDown() override
    {
        holdLookups = false;
        for (const auto& [request, result] : heldLookups)
            HostLookupDone(request, result);
        EXPECT_TRUE(JobsDone());
        StopTestProgram();
    }

    static void UseAnswerSize(uint32_t size)
    {
        Settings.maxAllocSize = size;
        ASSERT_EQ(SetUpPaths(), 0);
    }

    // A logging entry for a query to host, with an empty pane and log. A
    // finger entry's monitor file holds "previous answer"; a whois entry is
    // freed after its job.
    FingerEntry* NewEntry(const std::string& host, uint32_t flags = FE_LOG_OUTPUT, std::string address = "")
    {
        SetWindowTextA(OutputWindow, "");
        DeleteFileA(log.c_str());
        if (!client.finger) {
            snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "%s", host.c_str());
            return AddTestEntry("example.com", "example.com", FE_TEMPORARY | flags);
        }
        FingerEntry* entry = AddTestEntry("test", address.empty() ? ("alice@" + host).c_str() : address.c_str(), flags);
        char path[PATH_SIZE];
        MonitorFilePath(entry, path, sizeof path);
        monitor = path;
        WriteWholeFile(monitor, "previous answer");
        return entry;
    }

    void Run(const std::string& host)
    {
        ASSERT_EQ(AddJob(client.jobType, NewEntry(host)), 0);
        ASSERT_TRUE(JobsDone());
    }

    std::string Header(const std::string& host) const
    {
        return client.finger ? "Fingering \"alice@" + host + "\" \n" : "Performing WHOIS \"example.com\" \n";
    }
    std::string ConnectFailure(const std::string& code) const
    {
        return "*** Error: Found, but couldn't connect to \"" + std::string(client.target) + "\" " + code + " ***\n\n";
    }
    std::string Code(int code, const char* name) const
    {
        return "(" + std::to_string(code) + (client.finger ? std::string(" - \"") + name + "\")" : ")");
    }

    // The pane and the log of the job: the answer as far as it came, a line
    // on how it ended, and the line end that follows an answer.
    void ExpectShownAndLogged(const std::string& host, const std::string& part, const std::string& line,
                              const std::string& lineEnd) const
    {
        EXPECT_EQ(PaneBytes(), Header(host) + part + line + lineEnd);
        // A finger answer is logged with its record, after the line.
        EXPECT_EQ(ReadWholeFile(log), Header(host) + (client.finger ? line + part : part + line));
    }
    void ExpectRecorded(const std::string& answer) const
    {
        if (client.finger) {
            EXPECT_EQ(ReadWholeFile(monitor), answer);
        }
    }
};

// An answer is cut to the buffer and warned about; one that fills it exactly
// is complete; NUL bytes hide nothing that follows them.
TEST_P(QueryClient, AnswerIsShownLoggedAndRecordedUpToTheBuffer)
{
    const struct {
        uint32_t size;
        std::string answer;
        size_t chunkBytes;
    } cases[] = {
        {16384, GeneratedAnswer(70000), 0},
        {16384, GeneratedAnswer(16385), 0},
        {16384, GeneratedAnswer(16384), 0},
        {65536, std::string("Login: alice\0hidden?\r\n\0\0Plan: visible\r\n", 40), 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.answer.size()) + " bytes into " + std::to_string(c.size));
        UseAnswerSize(c.size);
        TestServer server;
        ASSERT_EQ(StartTestServer(server, "127.0.0.2", client.port,
                                  {.answer = c.answer, .chunkBytes = c.chunkBytes, .chunkDelayMs = 20}),
                  0);
        Run("127.0.0.2");
        EXPECT_EQ(ServerQuery(server, 0), client.query);
        char warning[256] = "";
        if (c.answer.size() > c.size)
            snprintf(warning, sizeof warning, client.truncated, c.size);
        ExpectShownAndLogged("127.0.0.2", c.answer.substr(0, c.size), warning, "\n");
        ExpectRecorded(c.answer.substr(0, c.size));
    }
}

// A refused connection or an unknown host ends the job at once; every wait
// ends at the network time limit, and at once on a kill or shutdown. A line
// says why, after what was shown; the previous answer stays recorded unless
// a part came before the time limit. No wait holds the processor.
TEST_P(QueryClient, EveryFailureAndWaitEndsWithItsLine)
{
    const std::string timedOut = Code(10060, "WSAETIMEDOUT");
    const std::string lost = "** Winsocket error during finger retrieval " + timedOut + " **\n\n";
    const struct {
        const char* host;
        std::string part;
        std::string line;
        const char* lineEnd;
        std::string cancelLine;
    } cases[] = {
        {"127.0.0.4", "", ConnectFailure(Code(10061, "WSAECONNREFUSED")), "", ""},
        {"no-such-host.example", "", "Couldn't locate \"no-such-host.example\" (11001)\n\n", "", ""},
        {"127.0.0.2", "", "Couldn't locate \"127.0.0.2\" " + timedOut + "\n\n", "", "** cancelled **\n\n"},
        {"127.0.0.8", "", ConnectFailure(timedOut), "", client.cancelled},
        {"127.0.0.6", "", lost, client.finger ? "" : "\n", client.cancelled},
        {"127.0.0.6", "first part\r\n", lost, "\n", client.cancelled},
    };
    const FullListener full(client.port);
    for (const bool timeLimit : {true, false}) {
        for (const auto& c : cases) {
            const bool waits = !c.cancelLine.empty();
            if (!timeLimit && !waits)
                continue;
            SCOPED_TRACE((timeLimit ? "time limit: " : "cancelled: ") + c.line);
            Settings.networkTimeout = timeLimit ? 1 : 60;
            holdLookups = c.host == std::string("127.0.0.2");
            TestServer server;
            ASSERT_EQ(StartTestServer(server, "127.0.0.6", client.port,
                                      {.answer = c.part, .neverAnswer = c.part.empty(), .closeAfterAnswer = false}),
                      0);
            const DWORD started = GetTickCount();
            ASSERT_EQ(AddJob(client.jobType, NewEntry(c.host)), 0);
            if (timeLimit) {
                ASSERT_TRUE(JobsDone());
                EXPECT_GE(GetTickCount() - started, waits ? 900u : 0u);
                EXPECT_LT(GetTickCount() - started, 4000u);
                ExpectShownAndLogged(c.host, c.part, c.line, c.lineEnd);
                ExpectRecorded(c.part.empty() ? "previous answer" : c.part);
                continue;
            }
            const size_t shown = Header(c.host).size() + c.part.size();
            ASSERT_TRUE(PumpUntil(
                [&] {
                    if (holdLookups || c.host == std::string("127.0.0.8"))
                        return !holdLookups || !heldLookups.empty();
                    return ServerQuery(server, 0) == client.query && PaneBytes().size() == shown;
                },
                10000));
            PumpMessagesFor(300);
            EXPECT_LT(ProcessorTimeWhileSleeping(1000), 3000000ull);
            ASSERT_EQ(GetJobCount(), 1u);
            // The last one closes the program instead, which ends the task thread.
            const bool shutDown = &c == &std::end(cases)[-1];
            const DWORD cancelled = GetTickCount();
            shutDown ? void(RequestShutdown()) : KillAllJobs();
            ASSERT_TRUE(shutDown ? PumpUntil([] { return (JobQueue.jobState & JS_THREAD_ENDED) != 0; }, 5000)
                                 : JobsDone(5000));
            EXPECT_LT(GetTickCount() - cancelled, 1000u);
            EXPECT_EQ(PaneBytes(), Header(c.host) + c.part + c.cancelLine);
            ExpectRecorded("previous answer");
            EXPECT_TRUE(PumpUntil([&] { return ServerClosedCount(server) == ServerConnectionCount(server); }, 3000));
        }
    }
}

// A lookup abandoned by a kill completes while the next job waits for its
// own: it must not be taken for the new one.
TEST_P(QueryClient, LateCompletionOfAnAbandonedLookupIsIgnored)
{
    holdLookups = true;
    ASSERT_EQ(AddJob(client.jobType, NewEntry("127.0.0.4")), 0);
    ASSERT_TRUE(PumpUntil([] { return heldLookups.size() == 1; }, 10000));
    KillAllJobs();
    ASSERT_TRUE(JobsDone(5000));
    TestServer server;
    ASSERT_EQ(StartTestServer(server, "127.0.0.2", client.port, {.answer = "second job\r\n"}), 0);
    ASSERT_EQ(AddJob(client.jobType, NewEntry("127.0.0.2")), 0);
    ASSERT_TRUE(PumpUntil([] { return heldLookups.size() == 2; }, 10000));
    HostLookupDone(heldLookups[0].first, heldLookups[0].second);
    PumpMessagesFor(300);
    EXPECT_EQ(GetJobCount(), 1u);
    EXPECT_EQ(ServerConnectionCount(server), 0);
    holdLookups = false;
    HostLookupDone(heldLookups[1].first, heldLookups[1].second);
    heldLookups.clear();
    ASSERT_TRUE(JobsDone());
    EXPECT_EQ(PaneBytes(), Header("127.0.0.2") + "second job\r\n\n");
}

auto ClientName = [](const testing::TestParamInfo<Client>& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Clients, QueryClient, testing::Values(FINGER, WHOIS), ClientName);

class FingerClient : public QueryClient {};
INSTANTIATE_TEST_SUITE_P(Clients, FingerClient, testing::Values(FINGER), ClientName);

// Sends the query to the real finger daemon, which the sandbox serves on
// 127.0.0.9, and returns what comes back until the daemon closes.
std::string PlainFinger(const std::string& query)
{
    SOCKET plain = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in daemon = Loopback("127.0.0.9", 79);
    connect(plain, reinterpret_cast<const sockaddr*>(&daemon), sizeof daemon);
    send(plain, query.data(), static_cast<int>(query.size()), 0);
    std::string answer;
    char buffer[4096];
    for (int got; (got = recv(plain, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(got));
    closesocket(plain);
    return answer;
}

// The bytes on the wire for every address form; the answer is shown and
// recorded exactly, also the real daemon's.
TEST_P(FingerClient, EveryAddressFormSendsItsQuery)
{
    const std::string longUser(117, 'u');
    const std::pair<std::string, std::string> cases[] = {
        {"alice@127.0.0.2", "alice\r\n"},
        {"@127.0.0.2", "\r\n"},
        {"alice@relay.example@127.0.0.2", "alice@relay.example\r\n"},
        {longUser + "@127.0.0.2", longUser + "\r\n"},
        {"root@127.0.0.9", "root\r\n"},
        {"@127.0.0.9", "\r\n"},
    };
    const std::string scripted = "Login: alice\r\nNo plan.\r\n";
    TestServer server;
    ASSERT_EQ(StartTestServer(server, "127.0.0.2", 79, {.answer = scripted}), 0);
    int connections = 0;
    for (const auto& [address, shortQuery] : cases) {
        for (const uint32_t flags : {0u, uint32_t{FE_LONG_OUTPUT}}) {
            SCOPED_TRACE(address + (flags ? " (verbose)" : ""));
            const std::string query = !flags ? shortQuery : shortQuery == "\r\n" ? "/W\r\n" : "/W " + shortQuery;
            const bool daemon = address.ends_with("127.0.0.9");
            const std::string answer = daemon ? PlainFinger(query) : scripted;
            ASSERT_FALSE(answer.empty());
            ASSERT_EQ(AddJob(JOB_FINGER, NewEntry("", flags, address)), 0);
            ASSERT_TRUE(JobsDone());
            ExpectRecorded(answer);
            if (daemon)
                continue;
            EXPECT_EQ(ServerQuery(server, connections++), query);
            const std::string header = "Fingering \"" + address + "\" " + (flags ? "(verbose)" : "") + "\n";
            EXPECT_EQ(PaneBytes(), header + answer + "\n");
        }
    }
    // A bare user name filling the whole address is the longest user part.
    char query[FINGER_QUERY_SIZE];
    EXPECT_EQ(BuildFingerQuery(query, sizeof query, std::string(127, 'u').c_str(), true), 132);
}

// With automatic HTML detection an answer is collected whole: HTML goes to
// the browser only, anything else is shown at once with no line end added.
TEST_P(FingerClient, CollectedAnswersAreOpenedInTheBrowserWhenHtml)
{
    char self[MAX_PATH];
    const std::string program(self, GetModuleFileNameA(nullptr, self, sizeof self));
    snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%s",
             (program.substr(0, program.find_last_of('\\') + 1) + "record_command_line.exe").c_str());
    const std::string record = TempFolder() + "\\browser record.txt";
    SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
    Settings.options |= OPT_AUTO_HTML | OPT_USER_BROWSER;
    for (const bool html : {true, false}) {
        SCOPED_TRACE(html ? "HTML" : "text");
        DeleteFileA(record.c_str());
        const std::string answer =
            html ? "Plan:\r\n<html><b>hi</b></html>\r\n" : std::string("Login:\0hidden?\r\n\0Plan\r\n", 23);
        TestServer server;
        ASSERT_EQ(StartTestServer(server, "127.0.0.2", 79, {.answer = answer, .chunkBytes = 7}), 0);
        Run("127.0.0.2");
        EXPECT_EQ(PaneBytes(), Header("127.0.0.2") + (html ? "" : answer));
        EXPECT_EQ(ReadWholeFile(log), Header("127.0.0.2") + answer);
        ExpectRecorded(answer);
        const auto opened = [&] { return ReadWholeFile(record).find(monitor) != std::string::npos; };
        EXPECT_EQ(PumpUntil(opened, html ? 30000 : 500), html);
    }
    SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", nullptr);
}

}
