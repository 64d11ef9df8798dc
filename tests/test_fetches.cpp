// Answers fetched side by side and shown in queue order, and whois lookups that follow referrals.
#include <winsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
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

    void SetUp() override
    {
        StartTestProgram({.simulate = false});
        ASSERT_EQ(StartWinsock(), 0);
        Settings.options = OPT_NETWORK | OPT_LOGGING;
        Settings.maxAllocSize = 16384;
        Settings.networkTimeout = 1;
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        ASSERT_EQ(SetUpPaths(), 0);
    }

    void TearDown() override
    {
        StopTestProgram();
        StopWinsock();
    }

    // An empty pane and log; every entry unfingered, with "previous answer" in its monitor file.
    void Reset(const std::vector<FingerEntry*>& entries)
    {
        SetWindowTextA(OutputWindow, "");
        DeleteFileA(log.c_str());
        for (FingerEntry* entry : entries) {
            WriteWholeFile(MonitorPath(entry), "previous answer");
            entry->fingerCount = 0;
            entry->outputStart = entry->outputEnd = 0;
        }
    }

    // Queues a whois lookup of example.com and returns the pane, then the log, once it has run.
    std::pair<std::string, std::string> Whois()
    {
        FingerEntry* entry = AddTestEntry("example.com", "example.com", FE_TEMPORARY | FE_LOG_OUTPUT);
        Reset({});
        EXPECT_EQ(AddJob(JOB_WHOIS, entry), 0);
        EXPECT_TRUE(WaitForJobsDone(15000));
        return {PaneBytes(), ReadWholeFile(log)};
    }
};

// What each host serves on the finger port: fast, drip-fed, silent, empty, too long; 127.0.0.8 refuses.
struct Host {
    const char* address;
    ServerBehaviour behaviour;
};

// Fast, slow, silent, refused, empty and truncated answers, finger and whois, logged and recycled, come out the same
// byte for byte whether one answer is fetched at a time or eight.
TEST_F(Fetches, SideBySideRunsShowAndStoreExactlyWhatOneAtATimeDoes)
{
    const Host hosts[] = {
        {"127.0.0.2", {.answer = "fast answer\r\n", .concurrent = true}},
        {"127.0.0.3", {.answer = "slow answer, sent in pieces\r\n", .chunkBytes = 5, .chunkDelayMs = 30}},
        {"127.0.0.4", {.neverAnswer = true, .concurrent = true}},
        {"127.0.0.5", {.answer = "", .concurrent = true}},
        {"127.0.0.6", {.generatedBytes = 20000, .concurrent = true}},
    };
    std::vector<TestServer> servers(std::size(hosts) + 1);
    for (size_t i = 0; i < std::size(hosts); ++i)
        ASSERT_EQ(StartTestServer(servers[i], hosts[i].address, 79, hosts[i].behaviour), 0);
    ASSERT_EQ(StartTestServer(servers.back(), "127.0.0.2", 43, {.answer = "whois answer\r\n"}), 0);
    snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "127.0.0.2");
    std::vector<FingerEntry*> entries;
    for (const char* host : {"2", "3", "4", "8", "5", "6", "2", "3", "2"}) {
        const std::string address = "user" + std::to_string(entries.size()) + "@127.0.0." + host;
        const uint32_t flags = FE_LOG_OUTPUT | (entries.size() % 2 ? FE_RECYCLE_OUTPUT : 0u);
        entries.push_back(AddTestEntry(address.c_str(), address.c_str(), flags));
    }
    std::map<uint32_t, std::vector<std::string>> results;
    for (const uint32_t limit : {1u, 8u}) {
        Settings.fetchLimit = limit;
        Reset(entries);
        // Every entry twice, so recycled blocks are replaced, with a lookup among them.
        for (int round = 0; round < 2; ++round) {
            for (FingerEntry* entry : entries)
                ASSERT_EQ(FingerEntryNow(entry), 0);
            ASSERT_EQ(AddJob(JOB_WHOIS, entries[0]), 0);
        }
        ASSERT_TRUE(WaitForJobsDone(60000));
        std::vector<std::string>& result = results[limit];
        result = {PaneBytes(), ReadWholeFile(log)};
        for (FingerEntry* entry : entries)
            result.push_back(ReadWholeFile(MonitorPath(entry)) + " / " + std::to_string(entry->fingerCount));
    }
    EXPECT_NE(results[1][0].find("slow answer"), std::string::npos);
    EXPECT_NE(results[1][0].find("Finger output truncated"), std::string::npos);
    EXPECT_EQ(results[1], results[8]);
}

// No more than the set number of connections at once, and no more than two to one host; fetches do overlap.
TEST_F(Fetches, ConnectionsStayWithinTheLimits)
{
    Settings.fetchLimit = 3;
    Settings.networkTimeout = 10;
    const ServerBehaviour slow = {.answer = "slow\r\n", .chunkBytes = 3, .chunkDelayMs = 150, .concurrent = true};
    std::vector<TestServer> servers(4);
    std::vector<FingerEntry*> entries;
    for (size_t i = 0; i < servers.size(); ++i) {
        const std::string host = "127.0.0." + std::to_string(i + 2);
        ASSERT_EQ(StartTestServer(servers[i], host.c_str(), 79, slow), 0);
        for (const char* user : {"a@", "b@", "c@", "d@"}) {
            const std::string address = user + host;
            entries.push_back(AddTestEntry(address.c_str(), address.c_str()));
        }
    }
    // The first host's users come first, so only the host limit holds them back.
    int mostOpen = 0;
    for (FingerEntry* entry : entries)
        ASSERT_EQ(FingerEntryNow(entry), 0);
    ASSERT_TRUE(PumpUntil([&] {
        int open = 0;
        for (const TestServer& server : servers)
            open += server.state->openCount;
        mostOpen = std::max(mostOpen, open);
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
        std::vector<TestServer> servers(4);
        std::vector<FingerEntry*> entries;
        for (size_t i = 0; i < servers.size(); ++i) {
            const std::string host = "127.0.0." + std::to_string(i + 2);
            ASSERT_EQ(StartTestServer(servers[i], host.c_str(), 79, {.neverAnswer = true, .concurrent = true}), 0);
            for (const char* user : {"a@", "b@"})
                entries.push_back(AddTestEntry((user + host).c_str(), (user + host).c_str()));
        }
        Reset(entries);
        for (FingerEntry* entry : entries)
            ASSERT_EQ(FingerEntryNow(entry), 0);
        auto open = [&] {
            int count = 0;
            for (const TestServer& server : servers)
                count += server.state->openCount;
            return count;
        };
        ASSERT_TRUE(PumpUntil([&] { return open() == 8; }, 10000));
        const DWORD stopped = GetTickCount();
        close ? void(RequestShutdown()) : KillAllJobs();
        ASSERT_TRUE(PumpUntil([&] {
            return open() == 0 && JobQueue.jobCount == 0 &&
                   (!close || (JobQueue.jobState & JS_THREAD_ENDED));
        }, 5000)) << open() << " " << JobQueue.jobCount << " " << JobQueue.jobState;
        EXPECT_LT(GetTickCount() - stopped, 1000u);
        for (FingerEntry* entry : entries)
            EXPECT_EQ(ReadWholeFile(MonitorPath(entry)), "previous answer");
        if (!close)
            FreeAllEntries();
    }
}

// A whois answer that names another server is followed there, each further answer after a line naming its server;
// no server is asked twice, a failing or overflowing hop ends the chain, and a malformed referral is not followed.
TEST_F(Fetches, WhoisFollowsReferralsToTheServerThatHoldsTheRecord)
{
    const std::string header = "Performing WHOIS \"example.com\" \n";
    const std::string a = "A: ianaish\r\nrefer: referral-b.test\r\n";
    const std::string b = "B: registry\r\nReferralServer: whois://referral-c.test:4343\r\n";
    const std::string c = "C: registrar\r\n";
    const std::string big = GeneratedAnswer(10000);
    const std::string warning = "** Warning: Finger output truncated (> 16384 bytes) **\n"
                                "** Change the memory allocation in Options->Advanced **\n\n";
    const struct {
        const char* name;
        std::string a, b, pane, log;
        bool follow = true;
    } cases[] = {
        {"chain", a, b, header + a + "\n[Querying referral-b.test]\n" + b + "\n[Querying referral-c.test]\n" + c + "\n",
         header + a + "[Querying referral-b.test]\n" + b + "[Querying referral-c.test]\n" + c},
        {"setting off", a, b, header + a + "\n", header + a, false},
        {"loop", "whois: referral-b.test\r\n", "refer: REFERRAL-A.test\r\n",
         header + "whois: referral-b.test\r\n\n[Querying referral-b.test]\nrefer: REFERRAL-A.test\r\n\n", ""},
        {"malformed", "refer: bad_host!\r\nReferralServer: rwhois://referral-b.test:4321\r\n", b,
         header + "refer: bad_host!\r\nReferralServer: rwhois://referral-b.test:4321\r\n\n", ""},
        {"silent", "refer: silent.test\r\n", b,
         header + "refer: silent.test\r\n\n[Querying silent.test]\n** Winsocket error during finger retrieval (10060) **\n\n\n",
         ""},
        {"overflow", "refer: referral-b.test\r\n" + big, big,
         header + "refer: referral-b.test\r\n" + big + "\n[Querying referral-b.test]\n" +
             big.substr(0, 16384 - 10000 - 24) + warning + "\n",
         ""},
    };
    for (const auto& c_ : cases) {
        SCOPED_TRACE(c_.name);
        Settings.followReferrals = c_.follow;
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "referral-a.test");
        TestServer servers[4];
        ASSERT_EQ(StartTestServer(servers[0], "127.0.0.3", 43, {.answer = c_.a}), 0);
        ASSERT_EQ(StartTestServer(servers[1], "127.0.0.4", 43, {.answer = c_.b}), 0);
        ASSERT_EQ(StartTestServer(servers[2], "127.0.0.5", 4343, {.answer = c}), 0);
        ASSERT_EQ(StartTestServer(servers[3], "127.0.0.7", 43, {.neverAnswer = true}), 0);
        const auto [pane, logged] = Whois();
        EXPECT_EQ(pane, c_.pane);
        if (!c_.log.empty()) {
            EXPECT_EQ(logged, c_.log);
        }
        EXPECT_EQ(ServerConnectionCount(servers[0]), 1);
        EXPECT_LE(ServerConnectionCount(servers[1]), 1);
    }
}

// A kill while the second server is asked ends the lookup at once; the first answer stays shown.
TEST_F(Fetches, KillDuringASecondHopEndsTheLookup)
{
    Settings.networkTimeout = 60;
    snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "referral-a.test");
    TestServer first, silent;
    ASSERT_EQ(StartTestServer(first, "127.0.0.3", 43, {.answer = "refer: silent.test\r\n"}), 0);
    ASSERT_EQ(StartTestServer(silent, "127.0.0.7", 43, {.neverAnswer = true}), 0);
    Reset({});
    ASSERT_EQ(AddJob(JOB_WHOIS, AddTestEntry("example.com", "example.com", FE_TEMPORARY)), 0);
    ASSERT_TRUE(PumpUntil([&] { return ServerQuery(silent, 0) == "example.com\r\n"; }, 10000));
    const DWORD killed = GetTickCount();
    KillAllJobs();
    ASSERT_TRUE(WaitForJobsDone(5000));
    EXPECT_LT(GetTickCount() - killed, 1000u);
    EXPECT_EQ(PaneBytes(), "Performing WHOIS \"example.com\" \nrefer: silent.test\r\n\n[Querying silent.test]\n"
                           "** WHOIS cancelled **\n\n");
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
        {"domain: COM\r\nrefer: whois.verisign-grs.com\r\n", "whois.verisign-grs.com", 0, true},
        {"  WHOIS:   whois.nic.example \n", "whois.nic.example", 0, true},
        {"ReferralServer: whois://whois.ripe.net:4343\n", "whois.ripe.net", 4343, true},
        {"ReferralServer: whois://whois.apnic.net/\n", "whois.apnic.net", 0, true},
        {"ReferralServer: rwhois://rwhois.example.net:4321\n", "rwhois.example.net", 4321, false},
        {"   Registrar WHOIS Server: whois.markmonitor.com\r\n", "whois.markmonitor.com", 0, true},
        {"Registrar WHOIS Server: http://whois.example.com/\r\n", "http", 0, false},
        {"refer: -bad-.example\n", "-bad-.example", 0, false},
        {"refer: host.example:0\n", "host.example", 0, false},
        {"refer: host.example:99999\n", "host.example", 0, false},
        {"refer: a..b\n", "a..b", 0, false},
        {"refer: \nwhois: second.example\n", "second.example", 0, true},
        {"no referral here\nreferral: x.example\n", nullptr, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        WhoisReferral referral;
        const bool found = FindWhoisReferral(c.answer, strlen(c.answer), referral);
        ASSERT_EQ(found, c.host != nullptr);
        if (!found)
            continue;
        EXPECT_STREQ(referral.host, c.host);
        EXPECT_EQ(referral.port, c.port);
        EXPECT_EQ(referral.followable, c.followable);
    }
}

}
