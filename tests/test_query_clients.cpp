// The finger and whois clients against scripted servers on the loopback hosts and a real finger daemon, and against
// finger servers that misbehave in every way a server can.
#include <winsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "entries/settings.h"
#include "entries/stored_values.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/net_socket.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "support/program_test.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

namespace {

// Lookup completions are held while holdLookups is set, then handed on late, before the next one.
std::vector<std::pair<WPARAM, LPARAM>> heldLookups;
bool holdLookups = false;

LRESULT CALLBACK HoldLookup(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOST_LOOKUP_DONE)
        heldLookups.emplace_back(wParam, lParam);
    for (; !holdLookups && !heldLookups.empty(); heldLookups.erase(heldLookups.begin()))
        HostLookupDone(heldLookups[0].first, heldLookups[0].second);
    return DefWindowProcA(window, message, wParam, lParam);
}

// Processor time of the whole process so far, in 100 ns.
unsigned long long ProcessorTime()
{
    FILETIME unused, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &unused, &unused, &kernel, &user);
    const unsigned long long high = static_cast<unsigned long long>(kernel.dwHighDateTime) + user.dwHighDateTime;
    return (high << 32) + kernel.dwLowDateTime + user.dwLowDateTime;
}

// What the real finger daemon on 127.0.0.9 answers to the query.
std::string PlainFinger(const std::string& query)
{
    const NetSocket plain(socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in daemon = {AF_INET, htons(79), {{.S_addr = inet_addr("127.0.0.9")}}, {}};
    const DWORD limitMs = 10000;
    setsockopt(plain.handle, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limitMs), sizeof limitMs);
    connect(plain.handle, reinterpret_cast<const sockaddr*>(&daemon), sizeof daemon);
    send(plain.handle, query.data(), static_cast<int>(query.size()), 0);
    std::string answer;
    char buffer[4096];
    for (int got; (got = recv(plain.handle, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(got));
    return answer;
}

struct QueryClient : ProgramFixture<TestProgramOptions{.simulate = false, .paths = true}>,
                     testing::WithParamInterface<bool> {
    const bool finger = GetParam();
    // Sent with CR LF for the entry, and named by a failed connect.
    const std::string target = finger ? "alice" : "example.com";
    const std::string log = TempFolder() + "\\query-client.log";
    std::string monitor;

    void SetUp() override
    {
        ProgramFixture::SetUp();
        Settings.options = OPT_NETWORK | OPT_LOGGING;
        Settings.maxAllocSize = 16384;
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
    }

    // Queues a job for an entry that asks host, with an empty pane and log; its monitor file holds "previous answer".
    void Start(const std::string& host, uint32_t flags = FE_LOG_OUTPUT, std::string address = "")
    {
        SetWindowTextA(OutputWindow, "");
        DeleteFileA(log.c_str());
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "%s", host.c_str());
        FingerEntry* entry = finger ? AddTestEntry("test", (address.empty() ? "alice@" + host : address).c_str(), flags)
                                    : AddTestEntry(target.c_str(), target.c_str(), FE_TEMPORARY | flags);
        monitor = MonitorPath(entry);
        WriteWholeFile(monitor, "previous answer");
        ASSERT_EQ(AddJob(finger ? JOB_FINGER : JOB_WHOIS, entry), 0);
    }

    // The pane and log: the header, the answer as far as it came, a line on how it ended and the answer's line end.
    void Expect(const std::string& host, const std::string& part, const std::string& line, const std::string& lineEnd,
                const std::string& recorded) const
    {
        const std::string header = (finger ? "Fingering \"alice@" + host : "Performing WHOIS \"" + target) + "\" \n";
        EXPECT_EQ(PaneBytes(), header + part + line + lineEnd);
        // A finger answer is logged with its record, after the line.
        EXPECT_EQ(ReadWholeFile(log), header + (finger ? line + (recorded == part ? part : "") : part + line));
        EXPECT_EQ(ReadWholeFile(monitor), finger ? recorded : "previous answer");
    }
};

INSTANTIATE_TEST_SUITE_P(Clients, QueryClient, testing::Bool(), [](auto i) { return i.param ? "Finger" : "Whois"; });

// An answer is cut to the buffer and warned about; one that fills it exactly is complete. A refusal ends the job at
// once; a wait ends at the network time limit, or at once on a kill or shutdown, without holding the processor. A line
// says why; a part that came before the time limit replaces the recorded answer. A lookup a job abandoned completes
// late, while the next job waits for its own: it must not be taken for that one.
TEST_P(QueryClient, EveryAnswerFailureAndWaitEndsWithItsLine)
{
    const std::string warning = finger ? "** Warning: Finger output truncated (more than 16384 bytes) **\n"
                                         "** Increase the memory allocation in Options->Advanced **\n\n"
                                       : "** Warning: Finger output truncated (> 16384 bytes) **\n"
                                         "** Change the memory allocation in Options->Advanced **\n\n";
    const std::string timedOut = finger ? "(10060 - \"WSAETIMEDOUT\")" : "(10060)";
    const std::string refused = finger ? "(10061 - \"WSAECONNREFUSED\")" : "(10061)";
    const std::string noConnection = "*** Error: Found, but couldn't connect to \"" + target + "\" ";
    const std::string lost = "** Winsocket error during finger retrieval " + timedOut + " **\n\n";
    const std::string cancelled = finger ? "** Finger cancelled **\n\n" : "** WHOIS cancelled **\n\n";
    // The answer is what the server on 127.0.0.6 sends, in pieces when short; without a cancel line it closes after.
    const struct {
        const char *host, *lineEnd;
        std::string answer, line, cancelLine;
    } cases[] = {
        {"127.0.0.6", "\n", GeneratedAnswer(16385), warning, ""},
        {"127.0.0.6", "\n", GeneratedAnswer(16384), "", ""},
        {"127.0.0.4", "", "", noConnection + refused + " ***\n\n", ""},
        {"lookup.test", "", "", "Couldn't locate \"lookup.test\" " + timedOut + "\n\n", "** cancelled **\n\n"},
        {"127.0.0.8", "", "", noConnection + timedOut + " ***\n\n", cancelled},
        {"127.0.0.6", finger ? "" : "\n", "", lost, cancelled},
        {"127.0.0.6", "\n", "first part\r\n", lost, cancelled},
    };
    TestServer full;  // on 127.0.0.8, where a connect never completes
    ASSERT_EQ(StartTestServer(full, "127.0.0.8", finger ? 79 : 43, {.answer = "", .neverAccept = true}), 0);
    static const HWND holder = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(holder, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HoldLookup));
    SetHostLookupWindow(holder);
    for (const bool timeLimit : {true, false}) {
        for (const auto& c : cases) {
            if (!timeLimit && c.cancelLine.empty())
                continue;
            SCOPED_TRACE((timeLimit ? "time limit: " : "cancelled: ") + std::to_string(c.answer.size()) + c.line);
            Settings.networkTimeout = timeLimit ? 1 : 60;
            TestServer server;
            const ServerBehaviour behaviour = {.answer = c.answer, .chunkBytes = c.answer.size() < 100 ? 7u : 0u,
                                               .chunkDelayMs = 20, .neverAnswer = c.answer.empty(),
                                               .closeAfterAnswer = c.cancelLine.empty()};
            ASSERT_EQ(StartTestServer(server, "127.0.0.6", finger ? 79 : 43, behaviour), 0);
            const std::string part = c.answer.substr(0, 16384);
            const DWORD started = GetTickCount();
            // The lookup of lookup.test is left to wait, and then comes just before the next job's own.
            holdLookups = c.host[0] == 'l';
            Start(c.host);
            if (timeLimit) {
                ASSERT_TRUE(WaitForJobsDone());
                EXPECT_GE(GetTickCount() - started, c.cancelLine.empty() ? 0u : 900u);
                EXPECT_LT(GetTickCount() - started, 4000u);
                Expect(c.host, part, c.line, c.lineEnd, part.empty() ? "previous answer" : part);
                continue;
            }
            // In its wait, with the header and the part shown, and the query sent where a server takes it.
            ASSERT_TRUE(PumpUntil([&] {
                const bool sent = c.host[8] != '6' || ServerQuery(server, 0) == target + "\r\n";
                return PaneBytes().size() > part.size() && PaneBytes().ends_with(part) && sent;
            }, 10000));
            const unsigned long long used = ProcessorTime();
            Sleep(1000);
            EXPECT_LT(ProcessorTime() - used, 3000000ull) << "the wait holds the processor";
            // The last one closes the program instead, which ends the task thread.
            const bool shutDown = &c == &std::end(cases)[-1];
            const DWORD cancelledAt = GetTickCount();
            shutDown ? void(RequestShutdown()) : KillAllJobs();
            ASSERT_TRUE(shutDown ? PumpUntil([] { return (JobQueue.jobState & JS_THREAD_ENDED) != 0; }, 5000)
                                 : WaitForJobsDone(5000));
            EXPECT_LT(GetTickCount() - cancelledAt, 1000u);
            Expect(c.host, part, c.cancelLine, "", "previous answer");
        }
    }
}

// The pane's copy of what is written to it: a control byte shows as a dot, and a line breaks after 512 characters.
std::string Displayed(const std::string& bytes)
{
    std::string shown;
    size_t column = 0;
    for (const char byte : bytes) {
        const bool lineEnd = byte == '\r' || byte == '\n';
        if (!lineEnd && column == 512)
            shown += '\n';
        column = lineEnd ? 0 : column % 512 + 1;
        shown += static_cast<unsigned char>(byte) < 0x20 && byte != '\t' && !lineEnd ? '.' : byte;
    }
    return shown;
}

struct FingerClient : QueryClient {};
INSTANTIATE_TEST_SUITE_P(Clients, FingerClient, testing::Values(true), [](const auto&) { return "Finger"; });

// The query bytes of every address form; the answer (also the real daemon's) is shown and recorded exactly, control
// bytes but tab shown as dots. With automatic HTML detection it is collected whole: HTML goes to the browser only, the
// rest is shown.
TEST_P(FingerClient, EveryAddressFormSendsItsQueryAndCollectedHtmlGoesToTheBrowser)
{
    snprintf(Settings.userBrowser, sizeof Settings.userBrowser, "%srecord_command_line.exe", ProgramFolder);
    const std::string record = TempFolder() + "\\browser record.txt";
    SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
    const std::string html = "Plan:\r\n<html><b>hi</b></html>\r\n";
    const std::string text("Login:\0hid\x01\x1f\tden?\r\n\0Plan\r\n", 26);
    // An empty answer stands for the daemon's.
    const struct {
        std::string address, sent, answer;
        bool collected;
    } cases[] = {
        {"alice@127.0.0.2", "alice\r\n", text, false},
        {"@127.0.0.2", "\r\n", text, false},
        {"alice@relay.example@127.0.0.2", "alice@relay.example\r\n", text, false},
        {"root@127.0.0.9", "root\r\n", "", false},
        {"alice@127.0.0.2", "alice\r\n", html, true},
        {"alice@127.0.0.2", "alice\r\n", text, true},
    };
    for (const auto& c : cases) {
        for (const uint32_t flags : {0u, uint32_t{FE_LONG_OUTPUT}}) {
            SCOPED_TRACE(c.address + (flags ? " (verbose)" : "") + (c.collected ? " collected" : ""));
            Settings.options = c.collected ? OPT_NETWORK | OPT_AUTO_HTML | OPT_USER_BROWSER : OPT_NETWORK;
            DeleteFileA(record.c_str());
            const std::string sent = !flags ? c.sent : c.sent == "\r\n" ? "/W\r\n" : "/W " + c.sent;
            const std::string answer = c.answer.empty() ? PlainFinger(sent) : c.answer;
            TestServer server;
            ASSERT_EQ(StartTestServer(server, "127.0.0.2", 79, {.answer = answer, .chunkBytes = 7}), 0);
            Start("", flags, c.address);
            ASSERT_TRUE(WaitForJobsDone());
            EXPECT_EQ(ServerQuery(server, 0), c.answer.empty() ? "" : sent);
            EXPECT_EQ(ReadWholeFile(monitor), answer);
            const std::string shown = Displayed(!c.collected ? answer + "\n" : answer == html ? "" : answer);
            EXPECT_EQ(PaneBytes(), "Fingering \"" + c.address + "\" " + (flags ? "(verbose)" : "") + "\n" + shown);
            EXPECT_EQ(PumpUntil([&] { return IsFile(record); }, answer == html ? 30000 : 0), answer == html);
        }
    }
}

// Finger servers that misbehave in every way a server can: whatever one does, its job ends in bounded time, nothing is
// stored but what it sent, the pane shows its bytes inertly, and the entry queued behind it is fingered exactly.

// "" when the bytes are as expected, else where they part: short enough to read when they run to a megabyte.
std::string Difference(const std::string& got, const std::string& expected)
{
    const auto at = static_cast<size_t>(std::ranges::mismatch(got, expected).in1 - got.begin());
    return got == expected ? "" : "byte " + std::to_string(at) + " of " + std::to_string(got.size()) + ": \"" +
                                      got.substr(at, 40) + "\" for \"" + expected.substr(at, 40) + "\"";
}

enum Stop { RUN_OUT, KILL, CLOSE };

// Each server with the smallest and largest buffer, a plain one behind: the answer is kept as far as it came and fits,
// a cancel or a failure before any byte keeps the previous one; a kill purges the queue, a close ends the thread.
TEST(HostileServers, NoServerHangsCrashesOrSpoilsTheStoredAnswersOrTheNextEntry)
{
    const std::string plan = "Login: bob\r\nPlan:\r\n  Nothing odd.\r\n";
    TestServer plain;
    ASSERT_EQ(StartTestServer(plain, "127.0.0.7", 79, {.answer = plan}), 0);
    // Sent over and over, it starts the same whatever the buffer.
    const std::string lines = GeneratedAnswer(MAX_ALLOC_SIZE + 1);
    std::string binary;
    for (size_t i = 0; i < 200000; ++i)
        binary += i % 3 ? static_cast<char>('a' + i % 26) : '\0';
    std::string everyByte = "{\\rtf1\\b not rich}\r\n";
    for (int value = 0; value < 256; ++value)
        everyByte += std::string(1, static_cast<char>(value)) + (value % 16 == 15 ? "\r\n" : "");
    const std::string timedOut = "(10060 - \"WSAETIMEDOUT\")";
    const std::string reset = "** Winsocket error during finger retrieval (10054 - \"WSAECONNRESET\") **\n\n";
    const std::string cancelled = "** Finger cancelled **\n\n";
    using Server = ServerBehaviour;
    const Server silent = {.answer = "", .neverAnswer = true};
    const Server drip = {.answer = lines, .chunkBytes = 64, .chunkDelayMs = 20, .endless = true};
    const struct {
        const char* name;
        Server server;
        std::string line;  // how the job ends, unless the buffer cuts the answer
        Stop stop = RUN_OUT;  // or a kill or a close during the wait
        const char* host = "127.0.0.6";
    } cases[] = {
        {"silent", silent, "** Winsocket error during finger retrieval " + timedOut + " **\n\n"},
        {"never connects", Server{.answer = "", .neverAccept = true},
         "*** Error: Found, but couldn't connect to \"alice\" " + timedOut + " ***\n\n", RUN_OUT, "127.0.0.8"},
        {"drip-feed", Server{.answer = lines.substr(0, 1000), .chunkBytes = 50, .chunkDelayMs = 30}, ""},
        {"endless", Server{.answer = lines, .endless = true}, ""},
        {"reset after half", Server{.answer = lines.substr(0, 3200), .resetAtEnd = true}, reset},
        {"reset at once", Server{.answer = "", .resetAtEnd = true}, reset},
        {"close at once", Server{.answer = "", .neverAnswer = true, .hangUpAtOnce = true}, ""},
        {"close after the query", Server{}, ""},
        {"long binary line", Server{.answer = binary}, ""},
        {"every byte", Server{.answer = everyByte}, ""},
        {"killed while silent", silent, cancelled, KILL},
        {"killed in an endless drip", drip, cancelled, KILL},
        {"closed while silent", silent, cancelled, CLOSE},
        {"closed in an endless drip", drip, cancelled, CLOSE},
    };
    const std::string log = TempFolder() + "\\hostile.log";
    AnswerBoxes("", IDCANCEL);
    for (const uint32_t size : {MIN_ALLOC_SIZE, MAX_ALLOC_SIZE}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", buffer " + std::to_string(size));
            ASSERT_TRUE(StartTestProgram({.simulate = false, .paths = true}));
            Settings.options = OPT_NETWORK | OPT_LOGGING;
            Settings.maxAllocSize = size;
            Settings.networkTimeout = 1;
            snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
            DeleteFileA(log.c_str());
            FingerEntry* hostile = AddTestEntry("hostile", (std::string("alice@") + c.host).c_str(), FE_LOG_OUTPUT);
            FingerEntry* next = AddTestEntry("next", "bob@127.0.0.7", FE_LOG_OUTPUT);
            WriteWholeFile(MonitorPath(hostile), "previous answer");
            DeleteFileA(MonitorPath(next).c_str());
            TestServer server;
            ASSERT_EQ(StartTestServer(server, c.host, 79, c.server), 0);
            const std::string& sent = c.server.answer;
            const std::string header = "Fingering \"alice@" + std::string(c.host) + "\" \n";
            const DWORD started = GetTickCount();
            AddJob(JOB_FINGER, hostile);
            AddJob(JOB_FINGER, next);
            if (c.stop != RUN_OUT) {
                // Waiting for the answer, with the first byte of an endless one shown.
                ASSERT_TRUE(PumpUntil([&] {
                    const size_t shown = static_cast<size_t>(GetWindowTextLengthA(OutputWindow));
                    return ServerQuery(server, 0) == "alice\r\n" && shown >= header.size() + !sent.empty();
                }, 5000));
                c.stop == KILL ? KillAllJobs() : void(RequestShutdown());
                EXPECT_TRUE(PumpUntil([&] {
                    return c.stop == KILL ? GetJobCount() == 0 && !(GetJobState() & (JS_BUSY | JS_KILLING))
                                          : (GetJobState() & JS_THREAD_ENDED) != 0;
                }, 1000)) << "the job outlived the stop by a second";
                if (c.stop == KILL)
                    AddJob(JOB_FINGER, next);
            }
            ASSERT_TRUE(c.stop == CLOSE || WaitForJobsDone(10000));
            EXPECT_LT(GetTickCount() - started, 4000u);

            const std::string pane = PaneBytes();
            std::string line = c.stop == RUN_OUT && sent.size() > size
                                   ? "** Warning: Finger output truncated (more than " + std::to_string(size) +
                                         " bytes) **\n** Increase the memory allocation in Options->Advanced **\n\n"
                                   : c.line;
            // Wine reports a reset as the end of the answer, where Windows reports an error.
            if (line == reset && pane.find(reset) == std::string::npos)
                line = "";
            const bool recorded = c.stop == RUN_OUT && (line.empty() || !sent.empty());
            const std::string nextLog = c.stop == CLOSE ? "" : "Fingering \"bob@127.0.0.7\" \n" + plan;
            const std::string nextPane = nextLog.empty() ? "" : nextLog + "\n";
            // A cancelled job shows what had come, however much that was (its answer has no control bytes).
            const size_t rest = header.size() + line.size() + recorded + nextPane.size();
            const std::string shown = sent.substr(0, c.stop == RUN_OUT ? size : std::max(pane.size(), rest) - rest);
            EXPECT_EQ(Difference(pane, Displayed(header + shown + line + (recorded ? "\n" : "") + nextPane)), "");
            EXPECT_EQ(Difference(ReadWholeFile(log), header + line + (recorded ? shown : "") + nextLog), "");
            EXPECT_EQ(Difference(ReadWholeFile(MonitorPath(hostile)), recorded ? shown : "previous answer"), "");
            EXPECT_EQ(IsFile(MonitorPath(next)) ? ReadWholeFile(MonitorPath(next)) : "none",
                      nextLog.empty() ? "none" : plan);
            for (const FingerEntry* entry : {hostile, next})
                EXPECT_FALSE(IsFile(MonitorPath(entry) + ".new")) << "a side file was left behind";
            EXPECT_EQ(hostile->fingerCount, 1u);
            EXPECT_EQ(next->fingerCount, c.stop == CLOSE ? 0u : 1u);
            EXPECT_EQ(TaskThreadRunning(), c.stop != CLOSE);
            EXPECT_EQ(AnsweredBoxes().size(), 0u);
            StopTestProgram();
        }
    }
}

}
