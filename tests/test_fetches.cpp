// Answers fetched side by side and shown in queue order, and whois lookups that follow referrals.
#include <winsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/whois_referral.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

namespace {

struct Fetches : testing::Test {
    const std::string log = TempFolder() + "\\fetches.log";
    std::vector<TestServer> servers;
    std::vector<FingerEntry*> entries;

    void SetUp() override
    {
        StartTestProgram({.simulate = false});
        ASSERT_EQ(StartWinsock(), 0);
        Settings.options = OPT_NETWORK | OPT_LOGGING;
        Settings.maxAllocSize = 16384;
        Settings.networkTimeout = 1;
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "referral-a.test");
        ASSERT_EQ(SetUpPaths(), 0);
    }

    void TearDown() override
    {
        StopTestProgram();
        StopWinsock();
    }

    // Finger servers on 127.0.0.2 and up, each with one entry per user, in host order.
    void ServeHosts(size_t count, const ServerBehaviour& behaviour, std::vector<std::string> users)
    {
        servers.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const std::string host = "127.0.0." + std::to_string(i + 2);
            ASSERT_EQ(StartTestServer(servers[i], host.c_str(), 79, behaviour), 0);
            for (const std::string& user : users)
                entries.push_back(AddTestEntry((user + "@" + host).c_str(), (user + "@" + host).c_str()));
        }
    }

    int OpenConnections() const
    {
        int open = 0;
        for (const TestServer& server : servers)
            open += server.state->openCount;
        return open;
    }

    // An empty pane and log; every entry unfingered, with "previous answer" in its monitor file.
    void Reset()
    {
        SetWindowTextA(OutputWindow, "");
        DeleteFileA(log.c_str());
        for (FingerEntry* entry : entries) {
            WriteWholeFile(MonitorPath(entry), "previous answer");
            entry->fingerCount = 0;
            entry->outputStart = entry->outputEnd = 0;
        }
    }
};

// Fast, slow, silent, refused, empty and truncated answers, finger and whois, logged and recycled, come out the same
// byte for byte whether one answer is fetched at a time or eight.
TEST_F(Fetches, SideBySideRunsShowAndStoreExactlyWhatOneAtATimeDoes)
{
    const ServerBehaviour behaviours[] = {
        {.answer = "fast answer\r\n", .concurrent = true},
        {.answer = "slow answer, sent in pieces\r\n", .chunkBytes = 5, .chunkDelayMs = 30},
        {.neverAnswer = true, .concurrent = true},
        {.answer = "", .concurrent = true},
        {.generatedBytes = 20000, .concurrent = true},
    };
    servers.resize(std::size(behaviours) + 1);
    for (size_t i = 0; i < std::size(behaviours); ++i)
        ASSERT_EQ(StartTestServer(servers[i], ("127.0.0." + std::to_string(i + 2)).c_str(), 79, behaviours[i]), 0);
    ASSERT_EQ(StartTestServer(servers.back(), "127.0.0.2", 43, {.answer = "whois answer\r\n"}), 0);
    snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "127.0.0.2");
    // Nothing listens on 127.0.0.8.
    for (const char* host : {"2", "3", "4", "8", "5", "6", "2", "3", "2"}) {
        const std::string address = "user" + std::to_string(entries.size()) + "@127.0.0." + host;
        const uint32_t recycled = entries.size() % 2 ? FE_RECYCLE_OUTPUT : 0u;
        entries.push_back(AddTestEntry(address.c_str(), address.c_str(), FE_LOG_OUTPUT | recycled));
    }
    std::vector<std::string> results[2];
    for (const uint32_t limit : {1u, 8u}) {
        Settings.fetchLimit = limit;
        Reset();
        // Every entry twice, so recycled blocks are replaced, with a lookup among them.
        for (int round = 0; round < 2; ++round) {
            for (FingerEntry* entry : entries)
                ASSERT_EQ(FingerEntryNow(entry), 0);
            ASSERT_EQ(AddJob(JOB_WHOIS, entries[0]), 0);
        }
        ASSERT_TRUE(WaitForJobsDone(60000));
        std::vector<std::string>& result = results[limit > 1];
        result = {PaneBytes(), ReadWholeFile(log)};
        for (FingerEntry* entry : entries)
            result.push_back(ReadWholeFile(MonitorPath(entry)) + " / " + std::to_string(entry->fingerCount));
    }
    EXPECT_NE(results[0][0].find("slow answer"), std::string::npos);
    EXPECT_NE(results[0][0].find("Finger output truncated"), std::string::npos);
    EXPECT_EQ(results[0], results[1]);
}

// No more than the set number of connections at once, and no more than two to one host; fetches do overlap.
TEST_F(Fetches, ConnectionsStayWithinTheLimits)
{
    Settings.fetchLimit = 3;
    Settings.networkTimeout = 10;
    // The first host's users come first, so only the host limit holds them back.
    ServeHosts(4, {.answer = "slow\r\n", .chunkBytes = 3, .chunkDelayMs = 150, .concurrent = true},
               {"a", "b", "c", "d"});
    for (FingerEntry* entry : entries)
        ASSERT_EQ(FingerEntryNow(entry), 0);
    int mostOpen = 0;
    ASSERT_TRUE(PumpUntil([&] {
        mostOpen = std::max(mostOpen, OpenConnections());
        return JobQueue.jobCount == 0 && !(JobQueue.jobState & JS_BUSY);
    }, 30000));
    EXPECT_LE(mostOpen, 3);
    EXPECT_GE(mostOpen, 2) << "the fetches never overlapped";
    for (const TestServer& server : servers) {
        EXPECT_EQ(ServerConnectionCount(server), 4);
        EXPECT_LE(ServerMostOpen(server), 2);
    }
}

// A kill, or closing the program, while eight fetches wait on silent servers ends every one within a second, and
// nothing is stored for them.
TEST_F(Fetches, KillAndCloseEndEveryWaitingFetchAtOnce)
{
    Settings.networkTimeout = 60;
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "kill");
        FreeAllEntries();
        entries.clear();
        ServeHosts(4, {.neverAnswer = true, .concurrent = true}, {"a", "b"});
        Reset();
        for (FingerEntry* entry : entries)
            ASSERT_EQ(FingerEntryNow(entry), 0);
        ASSERT_TRUE(PumpUntil([&] { return OpenConnections() == 8; }, 10000));
        const DWORD stopped = GetTickCount();
        close ? void(RequestShutdown()) : KillAllJobs();
        ASSERT_TRUE(PumpUntil([&] {
            return OpenConnections() == 0 && JobQueue.jobCount == 0 &&
                   (!close || (JobQueue.jobState & JS_THREAD_ENDED));
        }, 5000));
        EXPECT_LT(GetTickCount() - stopped, 1000u);
        for (FingerEntry* entry : entries)
            EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
    }
}

// A whois answer that names another server is followed there, each further answer after a line naming its server;
// no server is asked twice, a failing, overflowing or killed hop ends the chain, and a malformed referral is not
// followed. Servers: referral-a, -b and -c (port 4343) and silent.test, named in the sandbox's hosts file.
TEST_F(Fetches, WhoisFollowsReferralsToTheServerThatHoldsTheRecord)
{
    const std::string header = "Performing WHOIS \"example.com\" \n";
    const std::string a = "A: ianaish\r\nrefer: referral-b.test\r\n";
    const std::string b = "B: registry\r\nReferralServer: whois://referral-c.test:4343\r\n";
    const std::string c = "C: registrar\r\n";
    const std::string big = GeneratedAnswer(10000);
    const std::string silent = "refer: silent.test\r\n\n[Querying silent.test]\n";
    const struct {
        const char* name;
        std::string a, b, pane, log{};
        bool follow = true, kill = false;
    } cases[] = {
        {"chain", a, b, header + a + "\n[Querying referral-b.test]\n" + b + "\n[Querying referral-c.test]\n" + c + "\n",
         header + a + "[Querying referral-b.test]\n" + b + "[Querying referral-c.test]\n" + c},
        {"setting off", a, b, header + a + "\n", header + a, false},
        {"loop", "whois: referral-b.test\r\n", "refer: REFERRAL-A.test\r\n",
         header + "whois: referral-b.test\r\n\n[Querying referral-b.test]\nrefer: REFERRAL-A.test\r\n\n"},
        {"malformed", "refer: bad_host!\r\nReferralServer: rwhois://referral-b.test:4321\r\n", b,
         header + "refer: bad_host!\r\nReferralServer: rwhois://referral-b.test:4321\r\n\n"},
        {"silent", "refer: silent.test\r\n", b,
         header + silent + "** Winsocket error during finger retrieval (10060) **\n\n\n"},
        {"overflow", "refer: referral-b.test\r\n" + big, big,
         header + "refer: referral-b.test\r\n" + big + "\n[Querying referral-b.test]\n" + big.substr(0, 6360) +
             "** Warning: Finger output truncated (> 16384 bytes) **\n"
             "** Change the memory allocation in Options->Advanced **\n\n\n"},
        {"kill", "refer: silent.test\r\n", b, header + silent + "** WHOIS cancelled **\n\n", "", true, true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Settings.followReferrals = test.follow;
        Settings.networkTimeout = test.kill ? 60 : 1;
        TestServer hops[4];
        ASSERT_EQ(StartTestServer(hops[0], "127.0.0.3", 43, {.answer = test.a}), 0);
        ASSERT_EQ(StartTestServer(hops[1], "127.0.0.4", 43, {.answer = test.b}), 0);
        ASSERT_EQ(StartTestServer(hops[2], "127.0.0.5", 4343, {.answer = c}), 0);
        ASSERT_EQ(StartTestServer(hops[3], "127.0.0.7", 43, {.neverAnswer = true}), 0);
        Reset();
        ASSERT_EQ(AddJob(JOB_WHOIS, AddTestEntry("example.com", "example.com", FE_TEMPORARY | FE_LOG_OUTPUT)), 0);
        const DWORD started = GetTickCount();
        if (test.kill) {
            ASSERT_TRUE(PumpUntil([&] { return ServerQuery(hops[3], 0) == "example.com\r\n"; }, 10000));
            KillAllJobs();
        }
        ASSERT_TRUE(WaitForJobsDone(15000));
        EXPECT_LT(GetTickCount() - started, test.kill ? 1000u : 5000u);
        EXPECT_EQ(PaneBytes(), test.pane);
        if (!test.log.empty()) {
            EXPECT_EQ(ReadWholeFile(log), test.log);
        }
        EXPECT_EQ(ServerConnectionCount(hops[0]), 1);
        EXPECT_LE(ServerConnectionCount(hops[1]), 1);
    }
}

// Each form of referral line, and what makes one unfit to follow.
TEST(WhoisReferral, LinesAndTheirHosts)
{
    const struct {
        const char* answer;
        const char* host;
        uint16_t port;
        bool followable;
    } cases[] = {
        {"domain: COM\r\n  WHOIS:   whois.nic.example \r\nrefer: x.example\n", "whois.nic.example", 0, true},
        {"ReferralServer: whois://whois.ripe.net:4343/\n", "whois.ripe.net", 4343, true},
        {"ReferralServer: rwhois://rwhois.example.net:4321\n", "rwhois.example.net", 4321, false},
        {"   Registrar WHOIS Server: whois.markmonitor.com\r\n", "whois.markmonitor.com", 0, true},
        {"Registrar WHOIS Server: http://whois.example.com/\r\n", "http", 0, false},
        {"refer: -bad-.example\n", "-bad-.example", 0, false},
        {"refer: host.example:99999\n", "host.example", 0, false},
        {"refer: a..b\n", "a..b", 0, false},
        {"refer: \nreferral: x.example\n", nullptr, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        WhoisReferral referral;
        ASSERT_EQ(FindWhoisReferral(c.answer, strlen(c.answer), referral), c.host != nullptr);
        if (c.host) {
            EXPECT_STREQ(referral.host, c.host);
            EXPECT_EQ(referral.port, c.port);
            EXPECT_EQ(referral.followable, c.followable);
        }
    }
}

}
