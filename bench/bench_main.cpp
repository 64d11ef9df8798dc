// Throughput and memory figures of the job machinery and the output pane.
// Run under Wine with a display: ombrelane_bench.exe
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"

namespace {

double Seconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

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
    SetWindowTextA(OutputWindow, "");
    std::string line(99, 'z');
    line += '\n';
    std::string block;
    while (block.size() < bytes)
        block += line;
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

LRESULT CALLBACK BenchWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

}

int main()
{
    ShellHandles.instance = GetModuleHandleA(nullptr);
    ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
    FetchDefaultEntryFont();
    SetDefaultSettings();
    Settings.options &= ~OPT_NETWORK;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = BenchWindowProcedure;
    windowClass.hInstance = ShellHandles.instance;
    windowClass.lpszClassName = "OmbrelaneBench";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "OmbrelaneBench", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                                  nullptr, nullptr, ShellHandles.instance, nullptr);
    ShellHandles.mainWindow = window;
    if (!CreateOutputWindow(window) || StartTaskThread(window) != 0) {
        fprintf(stderr, "set-up failed\n");
        return 1;
    }
    FingerEntry prototype;
    SetEntryDefaults(prototype);
    snprintf(prototype.description, sizeof prototype.description, "bench");
    snprintf(prototype.address, sizeof prototype.address, "user@host");
    FingerEntry* entry = AllocateFingerEntry(prototype);

    const size_t fills[] = {0, 1u << 20, 10u << 20};
    const char* const names[] = {"empty", "1 MB", "10 MB"};
    for (int i = 0; i < 3; ++i) {
        FillPane(entry, fills[i]);
        printf("simulated finger jobs per second, pane %s: %.0f\n", names[i], SimulatedJobsPerSecond(entry, 500));
    }

    SetWindowTextA(OutputWindow, "");
    std::string answer;
    std::string line(79, 'a');
    line += '\n';
    while (answer.size() < (1u << 20))
        answer += line;
    answer.resize(1u << 20);
    double start = Seconds();
    StreamBufferToOutput(entry, answer.data(), static_cast<uint32_t>(answer.size()));
    printf("streaming a 1 MiB answer into an empty pane: %.1f ms\n", (Seconds() - start) * 1000.0);

    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    printf("peak working set: %.1f MB\n", counters.PeakWorkingSetSize / 1048576.0);

    RequestShutdown();
    while (!(JobQueue.jobState & JS_THREAD_ENDED)) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(5);
    }
    return 0;
}
