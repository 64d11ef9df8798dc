// Throughput and memory figures of the job machinery and the output pane.
// Run under Wine with a display: ombrelane_bench.exe
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench_clock.h"
#include "bench_entries_file.h"
#include "bench_list_view.h"
#include "bench_startup.h"
#include "entries/settings.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_servers.h"

namespace {

void PumpUntilIdle()
{
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        if (JobQueue.jobCount == 0 && !(JobQueue.jobState & JS_BUSY)) {
            ShowQueuedOutput();
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void FillPane(FingerEntry* entry, size_t bytes)
{
    std::string line(99, 'z');
    line += '\n';
    std::string block;
    while (block.size() < bytes)
        block += line;
    if (!block.empty())
        StreamBufferToOutput(entry, block.data(), static_cast<uint32_t>(block.size()));
}

double SimulatedJobsPerSecond(FingerEntry* entry, int jobs)
{
    double start = Seconds();
    for (int i = 0; i < jobs; ++i)
        AddJob(JOB_FINGER, entry);
    PumpUntilIdle();
    return jobs / (Seconds() - start);
}

// The reference for the program's fingers: one blocking connection per
// finger, with no window, no lookup and nothing shown or stored.
double BareFingersPerSecond(const char* address, int fingers)
{
    const sockaddr_in target = {AF_INET, htons(79), {{.S_addr = inet_addr(address)}}, {}};
    const char query[] = "user\r\n";
    char answer[4096];
    const double start = Seconds();
    for (int i = 0; i < fingers; ++i) {
        const SOCKET connection = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(connection, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 ||
            send(connection, query, sizeof query - 1, 0) != static_cast<int>(sizeof query - 1)) {
            closesocket(connection);
            return 0;
        }
        while (recv(connection, answer, sizeof answer, 0) > 0) {
        }
        closesocket(connection);
    }
    return fingers / (Seconds() - start);
}

// A fresh, empty pane: Wine's control empties a large text very slowly.
void NewPane(HWND window)
{
    DestroyWindow(OutputWindow);
    CloseLock(OutputMutex);
    CreateOutputWindow(window);
}

void NetworkFigures(HWND window, FingerEntry* entry)
{
    Settings.options |= OPT_NETWORK;
    snprintf(entry->address, sizeof entry->address, "user@127.0.0.2");
    TestServer server;
    ServerBehaviour small;
    small.generatedBytes = 1024;
    small.concurrent = true;
    if (StartTestServer(server, "127.0.0.2", 79, small) != 0) {
        printf("network figures skipped: no loopback server (run inside scripts/sandbox.sh)\n");
        return;
    }
    const double reference = BareFingersPerSecond("127.0.0.2", 1000);
    NewPane(window);
    double start = Seconds();
    for (int i = 0; i < 1000; ++i)
        AddJob(JOB_FINGER, entry);
    PumpUntilIdle();
    const double fingers = 1000 / (Seconds() - start);
    printf("fingers per second: %.0f fingers/s (reference %.0f fingers/s, ratio %.2f)\n", fingers, reference,
           reference > 0 ? fingers / reference : 0.0);

    ServerBehaviour large;
    large.generatedBytes = 1u << 20;
    StartTestServer(server, "127.0.0.2", 79, large);
    NewPane(window);
    start = Seconds();
    AddJob(JOB_FINGER, entry);
    PumpUntilIdle();
    printf("delivering a 1 MiB answer (buffer 1 MiB): %.0f ms\n", (Seconds() - start) * 1000.0);

    ServerBehaviour slow;
    slow.generatedBytes = 4096;
    slow.chunkBytes = 64;
    slow.chunkDelayMs = 50;
    StartTestServer(server, "127.0.0.2", 79, slow);
    for (int i = 0; i < 1000; ++i)
        AddJob(JOB_FINGER, entry);
    while (!(JobQueue.jobState & JS_RUNNING) || ServerConnectionCount(server) == 0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(1);
    }
    start = Seconds();
    KillAllJobs();
    while (JobQueue.jobCount != 0 || (JobQueue.jobState & JS_KILLING)) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(1);
    }
    printf("kill while receiving, 1000 jobs queued, until the queue is empty: %.0f ms\n", (Seconds() - start) * 1000.0);
    Settings.options &= ~OPT_NETWORK;
}

// 1 MiB on one line: every byte value but the two line ends, NULs included,
// in a scrambled order, so the pane's text changes its kind at almost every
// character.
std::string BinaryLine()
{
    std::string answer(1u << 20, '\0');
    uint32_t seed = 2463534242u;
    for (char& byte : answer) {
        do {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            byte = static_cast<char>(seed >> 24);
        } while (byte == '\r' || byte == '\n');
    }
    return answer;
}

// 1 MiB of numbered 16-byte lines.
std::string ShortLines()
{
    std::string answer;
    char line[32];
    for (unsigned i = 0; answer.size() < (1u << 20); ++i) {
        snprintf(line, sizeof line, "%06u short.\r\n", i % 1000000);
        answer += line;
    }
    answer.resize(1u << 20);
    return answer;
}

// A finger job whose answer comes in 4 KiB pieces, shown as it arrives or
// collected whole for the HTML test, then stored in the monitor file and the
// log; timed from queueing to the end of the job.
void AnswerFigures(HWND window, FingerEntry* entry)
{
    const uint32_t previousOptions = Settings.options;
    Settings.options |= OPT_NETWORK | OPT_LOGGING;
    entry->flags |= FE_LOG_OUTPUT;
    snprintf(entry->address, sizeof entry->address, "user@127.0.0.3");
    char monitor[PATH_SIZE];
    MonitorFilePath(entry, monitor, sizeof monitor);
    const struct {
        const char* name;
        std::string answer;
    } answers[] = {{"short lines", ShortLines()}, {"single-line binary", BinaryLine()}};
    for (const auto& answer : answers) {
        for (const bool collected : {false, true}) {
            TestServer server;
            if (StartTestServer(server, "127.0.0.3", 79, {.answer = answer.answer, .chunkBytes = 4096}) != 0) {
                printf("answer figures skipped: no loopback server (run inside scripts/sandbox.sh)\n");
                Settings.options = previousOptions;
                return;
            }
            Settings.options = collected ? Settings.options | OPT_AUTO_HTML : Settings.options & ~OPT_AUTO_HTML;
            DeleteFileA(Settings.logFile);
            NewPane(window);
            const double start = Seconds();
            AddJob(JOB_FINGER, entry);
            PumpUntilIdle();
            const double ms = (Seconds() - start) * 1000.0;
            const bool stored = ReadWholeFile(monitor) == answer.answer &&
                                ReadWholeFile(Settings.logFile).ends_with(answer.answer);
            printf("1 MiB answer of %s, %s and stored: %.0f ms%s\n", answer.name,
                   collected ? "collected for the HTML test, shown" : "shown as it arrives", ms,
                   stored ? "" : " (NOT STORED WHOLE)");
        }
    }
    DeleteFileA(Settings.logFile);
    DeleteFileA(monitor);
    Settings.options = previousOptions;
}

}

// "ombrelane_bench fingers" measures the network figures alone.
int main(int argc, char** argv)
{
    const bool fingersOnly = argc > 1 && strcmp(argv[1], "fingers") == 0;
    // Each figure shows as soon as it is measured, so a run stopped early
    // keeps what it found.
    setvbuf(stdout, nullptr, _IONBF, 0);
    StartTestProgram({.simulate = true, .startTaskThread = false});
    HWND window = ShellHandles.mainWindow;
    ShowWindow(window, SW_SHOW);
    Settings.maxAllocSize = 1u << 20;
    if (SetUpPaths() != 0 || StartWinsock() != 0 || !OutputWindow || StartTaskThread() != 0) {
        fprintf(stderr, "set-up failed\n");
        return 1;
    }
    FingerEntry prototype;
    SetEntryDefaults(prototype);
    snprintf(prototype.description, sizeof prototype.description, "bench");
    snprintf(prototype.address, sizeof prototype.address, "user@host");
    FingerEntry* entry = AllocateFingerEntry(prototype);
    if (fingersOnly) {
        NetworkFigures(window, entry);
        return 0;
    }

    std::string answer;
    std::string line(79, 'a');
    line += '\n';
    while (answer.size() < (1u << 20))
        answer += line;
    answer.resize(1u << 20);
    double start = Seconds();
    StreamBufferToOutput(entry, answer.data(), static_cast<uint32_t>(answer.size()));
    printf("streaming a 1 MiB answer into an empty pane: %.1f ms\n", (Seconds() - start) * 1000.0);

    // The pane grows from empty to 1 MB to 10 MB.
    const size_t fills[] = {0, 1u << 20, 9u << 20};
    const char* const names[] = {"empty", "1 MB", "10 MB"};
    NewPane(window);
    for (int i = 0; i < 3; ++i) {
        FillPane(entry, fills[i]);
        printf("simulated finger jobs per second, pane %s: %.0f\n", names[i], SimulatedJobsPerSecond(entry, 500));
    }

    NetworkFigures(window, entry);
    AnswerFigures(window, entry);

    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    printf("peak working set: %.1f MB\n", counters.PeakWorkingSetSize / 1048576.0);

    ListViewFigures(window);
    EntriesFileFigures(window);
    StartupFigures();

    RequestShutdown();
    while (!(JobQueue.jobState & JS_THREAD_ENDED)) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(5);
    }
    return 0;
}
