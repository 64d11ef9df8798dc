// Fetching side by side against distant and dead servers: 200 entries on five loopback hosts whose servers wait
// 150 ms before they answer (a connect and a query 50 ms each way), five of them on hosts that accept and never
// answer, with a network time limit of 10 s. The time from queueing to the last job shown, one fetch at a time and
// eight. Run alone with: scripts/bench.sh latency
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

namespace {

constexpr int ENTRIES = 200;
constexpr int ANSWER_DELAY_MS = 150;
constexpr uint32_t TIME_LIMIT_S = 10;
const char* const ANSWERING_HOSTS[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6"};
const char* const SILENT_HOSTS[] = {"127.0.0.10", "127.0.0.11", "127.0.0.12", "127.0.0.13", "127.0.0.14"};

// The least time any client could take that keeps the limits: each job's fetch starts in queue order as soon as
// a slot and its host allow, and lasts as long as its server makes it wait.
double LeastTime(const std::vector<const char*>& hosts, const std::vector<double>& waits, size_t limit)
{
    constexpr size_t HOST_LIMIT = 2;
    struct Running {
        const char* host;
        double end;
    };
    std::vector<Running> running;
    double start = 0.0;
    double last = 0.0;
    for (size_t i = 0; i < hosts.size(); ++i) {
        for (;;) {
            std::erase_if(running, [start](const Running& fetch) { return fetch.end <= start; });
            const auto toHost = [&](const Running& fetch) { return strcmp(fetch.host, hosts[i]) == 0; };
            const bool hostFull = static_cast<size_t>(std::ranges::count_if(running, toHost)) >= HOST_LIMIT;
            if (running.size() < limit && !hostFull)
                break;
            double next = 1e300;
            for (const Running& fetch : running) {
                if (running.size() >= limit || toHost(fetch))
                    next = std::min(next, fetch.end);
            }
            start = next;
        }
        running.push_back({hosts[i], start + waits[i]});
        last = std::max(last, start + waits[i]);
    }
    return last;
}

double RunQueue(const std::vector<FingerEntry*>& entries, uint32_t fetchLimit)
{
    Settings.fetchLimit = fetchLimit;
    SetWindowTextA(OutputWindow, "");
    const double start = Seconds();
    for (FingerEntry* entry : entries)
        AddJob(JOB_FINGER, entry);
    WaitForJobsDone(600000);
    return Seconds() - start;
}

}

void LatencyFigures()
{
    Settings.options |= OPT_NETWORK;
    Settings.networkTimeout = TIME_LIMIT_S;
    std::vector<TestServer> servers(std::size(ANSWERING_HOSTS) + std::size(SILENT_HOSTS));
    size_t next = 0;
    for (const char* host : ANSWERING_HOSTS) {
        const ServerBehaviour distant = {.generatedBytes = 1024, .concurrent = true, .answerDelayMs = ANSWER_DELAY_MS};
        if (StartTestServer(servers[next++], host, 79, distant) != 0) {
            printf("latency figures skipped: no loopback servers (run inside scripts/sandbox.sh)\n");
            return;
        }
    }
    for (const char* host : SILENT_HOSTS)
        StartTestServer(servers[next++], host, 79, {.neverAnswer = true, .concurrent = true});
    // The dead hosts' entries are spread through the queue.
    std::vector<FingerEntry*> entries;
    std::vector<const char*> hosts;
    std::vector<double> waits;
    for (int i = 0; i < ENTRIES; ++i) {
        const bool silent = i % (ENTRIES / 5) == ENTRIES / 10;
        const char* host = silent ? SILENT_HOSTS[i / (ENTRIES / 5)] : ANSWERING_HOSTS[i % std::size(ANSWERING_HOSTS)];
        const std::string address = "user" + std::to_string(i) + "@" + host;
        entries.push_back(AddTestEntry(address.c_str(), address.c_str()));
        hosts.push_back(host);
        waits.push_back(silent ? TIME_LIMIT_S : ANSWER_DELAY_MS / 1000.0);
    }
    // Each figure's reference is the least time the servers' own waits allow at that number of fetches.
    const double one = RunQueue(entries, 1);
    const double leastOne = LeastTime(hosts, waits, 1);
    printf("latency 200 entries, 1 fetch at once: %.1f s (reference %.1f s, ratio %.2f)\n", one, leastOne,
           one / leastOne);
    const double eight = RunQueue(entries, 8);
    const double leastEight = LeastTime(hosts, waits, 8);
    printf("latency 200 entries, 8 fetches at once: %.1f s (reference %.1f s, ratio %.2f)\n", eight, leastEight,
           eight / leastEight);
    printf("latency 200 entries, 8 fetches against 1: %.1f s (reference %.1f s, ratio %.2f)\n", eight, one,
           eight / one);
    FreeAllEntries();
}

#ifdef LATENCY_FIGURES_ONLY
int main()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    StartTestProgram({.simulate = false});
    ShowWindow(ShellHandles.mainWindow, SW_SHOW);
    if (SetUpPaths() != 0 || StartWinsock() != 0) {
        fprintf(stderr, "set-up failed\n");
        return 1;
    }
    LatencyFigures();
    StopTestProgram();
    StopWinsock();
    return 0;
}
#endif
