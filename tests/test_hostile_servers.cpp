// Finger servers that misbehave in every way a server can: whatever one does, its job ends in bounded time, nothing is
// stored but what it sent, the pane shows its bytes inertly, and the entry queued behind it is fingered exactly.
#include <winsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "entries/settings.h"
#include "entries/stored_values.h"
#include "jobs/job_queue.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

namespace {

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
            EXPECT_EQ(AnsweredBoxCount(), 0);
            StopTestProgram();
        }
    }
}

}
