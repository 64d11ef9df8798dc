// Throughput and memory figures of the job machinery and the output pane.
// Run under Wine with a display: ombrelane_bench.exe
#include <windows.h>
#include <psapi.h>

#include <cstdio>
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
        if (JobQueue.jobCount == 0 && !(JobQueue.jobState & JS_BUSY))
            return;
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

// A fresh, empty pane: Wine's control empties a large text very slowly.
void NewPane(HWND window)
{
    DestroyWindow(OutputWindow);
    CloseHandle(OutputMutex);
    CreateOutputWindow(window);
}

void NetworkFigures(HWND window, FingerEntry* entry)
{
    Settings.options |= OPT_NETWORK;
    snprintf(entry->address, sizeof entry->address, "user@127.0.0.2");
    TestServer server;
    ServerBehaviour small;
    small.generatedBytes = 1024;
    if (StartTestServer(server, "127.0.0.2", 79, small) != 0) {
        printf("network figures skipped: no loopback server (run inside scripts/sandbox.sh)\n");
        return;
    }
    NewPane(window);
    double start = Seconds();
    for (int i = 0; i < 1000; ++i)
        AddJob(JOB_FINGER, entry);
    PumpUntilIdle();
    printf("fingers per second, 1000 jobs answered with 1 KB (pane shown): %.0f\n", 1000 / (Seconds() - start));

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

}

int main()
{
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
