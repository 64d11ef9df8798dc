#include "support/program_fixture.h"
#include "support/test_windows.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "entries/message_box.h"
#include "entries/settings.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "shell/job_reports.h"
#include "shell/shell_handles.h"
#include "ui/entry_list_view.h"

namespace {

LRESULT CALLBACK TestMainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOST_LOOKUP_DONE) {
        HostLookupDone(wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A stand-in main window, never shown: it owns the boxes and completes the host lookups it asked for, as the real one.
HWND CreateTestMainWindow()
{
    static const WNDCLASSA windowClass = {0, TestMainWindowProcedure, 0, 0, GetModuleHandleA(nullptr), nullptr,
                                          nullptr, nullptr, nullptr, "OmbrelaneTestMain"};
    static const ATOM registered = RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, MAKEINTATOM(registered), "Ombrelane test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    ShellHandles.mainWindow = window;
    ShellHandles.instance = windowClass.hInstance;
    SetMessageOwner(window);
    SetHostLookupWindow(window);
    return window;
}

}

bool StartTestProgram(const TestProgramOptions& options)
{
    InitCommonControls();
    CoInitialize(nullptr);  // as the program's start-up does for the main thread
    if (!ShellHandles.richEditLibrary)
        ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
    FetchDefaultEntryFont();
    SetDefaultSettings();
    if (options.simulate)
        Settings.options &= ~OPT_NETWORK;
    InstallJobEventHandlers();
    HWND window = CreateTestMainWindow();
    CreateOutputWindow(window);
    const bool started = (options.simulate || StartWinsock() == 0) && (!options.paths || SetUpPaths() == 0);
    if (options.startTaskThread)
        StartTaskThread();
    return started;
}

void StopTestProgram()
{
    if (TaskThreadRunning()) {
        RequestShutdown();
        PumpUntil([] { return (GetJobState() & JS_THREAD_ENDED) != 0; }, 30000);
    }
    ReleaseJobMutexes();
    JobQueue.jobHead = JobQueue.jobTail = nullptr;
    JobQueue.jobCount = 0;
    JobQueue.jobState = 0;
    FreeAllEntries();
    if (ShellHandles.mainWindow)
        DestroyWindow(ShellHandles.mainWindow);
    ShellHandles.mainWindow = nullptr;
    EntryListView = nullptr;  // it went with the main window
    SetMessageOwner(nullptr);
    SetHostLookupWindow(nullptr);
    OutputWindow = nullptr;
    CloseLock(OutputMutex);
    StopWinsock();
}

bool WaitForJobsDone(DWORD timeoutMs)
{
    return PumpUntil([] { return GetJobCount() == 0 && !(GetJobState() & (JS_BUSY | JS_KILLING)); }, timeoutMs);
}

FingerEntry* AddTestEntry(const char* description, const char* address, uint32_t flags)
{
    FingerEntry prototype;
    SetEntryDefaults(prototype);
    snprintf(prototype.description, sizeof prototype.description, "%s", description);
    snprintf(prototype.address, sizeof prototype.address, "%s", address);
    prototype.flags = flags;
    return AllocateFingerEntry(prototype);
}

void FreeAllEntries()
{
    ShowQueuedOutput();
    while (EntryList.head)
        FreeFingerEntry(EntryList.head);
}

std::string PaneBytes()
{
    if (!OutputWindow)
        return {};
    std::string text(static_cast<size_t>(GetWindowTextLengthA(OutputWindow)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(OutputWindow, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::string PaneText()
{
    const std::string bytes = PaneBytes();
    // The control reports line ends as CR LF or CR.
    std::string normal;
    for (size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
        if (bytes[i] != '\r')
            normal += bytes[i];
        else if (bytes[i + 1] != '\n')
            normal += '\n';
    }
    return normal;
}

std::string MonitorPath(const FingerEntry* entry)
{
    char path[PATH_SIZE];
    return MonitorFilePath(entry, path, sizeof path) == 0 ? path : "";
}

std::string BoxTexts()
{
    std::string texts;
    for (const AnsweredBox& box : AnsweredBoxes())
        texts += box.caption + ": " + box.text + "\n";
    return texts;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::string TempFolder()
{
    char path[MAX_PATH];
    GetTempPathA(sizeof path, path);
    char folder[MAX_PATH];
    snprintf(folder, sizeof folder, "%sombrelane-test-%lu", path, GetCurrentProcessId());
    CreateDirectoryA(folder, nullptr);
    return folder;
}
