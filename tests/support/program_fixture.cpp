#include "program_fixture.h"
#include "test_windows.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"

namespace {

LRESULT CALLBACK TestMainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

}

HWND CreateTestMainWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = TestMainWindowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "OmbrelaneTestMain";
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        RegisterClassA(&windowClass);
        registered = true;
    }
    HWND window = CreateWindowExA(0, "OmbrelaneTestMain", "Ombrelane test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ShellHandles.mainWindow = window;
    ShellHandles.instance = GetModuleHandleA(nullptr);
    return window;
}

void StartTestProgram(const TestProgramOptions& options)
{
    if (!ShellHandles.richEditLibrary)
        ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
    FetchDefaultEntryFont();
    SetDefaultSettings();
    if (options.simulate)
        Settings.options &= ~OPT_NETWORK;
    HWND window = CreateTestMainWindow();
    CreateOutputWindow(window);
    if (options.startTaskThread)
        StartTaskThread(window);
}

void StopTestProgram()
{
    if (JobQueue.JobListMutex) {
        RequestShutdown();
        PumpUntil([] { return (JobQueue.jobState & JS_THREAD_ENDED) != 0; }, 30000);
        ReleaseJobMutexes();
    }
    JobQueue = {};
    FreeAllEntries();
    if (ShellHandles.mainWindow)
        DestroyWindow(ShellHandles.mainWindow);
    ShellHandles.mainWindow = nullptr;
    OutputWindow = nullptr;
    if (OutputMutex)
        CloseHandle(OutputMutex);
    OutputMutex = nullptr;
}

bool WaitForJobsDone(DWORD timeoutMs)
{
    return PumpUntil([] { return JobQueue.jobCount == 0 && !(JobQueue.jobState & JS_BUSY); }, timeoutMs);
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
    while (EntryList.head)
        FreeFingerEntry(EntryList.head);
}

std::string PaneText()
{
    if (!OutputWindow)
        return {};
    int length = GetWindowTextLengthA(OutputWindow);
    std::vector<char> text(static_cast<size_t>(length) + 1);
    GetWindowTextA(OutputWindow, text.data(), length + 1);
    std::string result(text.data());
    // The control reports line ends as CR LF or CR; tests compare with LF.
    std::string normal;
    for (size_t i = 0; i < result.size(); ++i) {
        if (result[i] == '\r') {
            normal += '\n';
            if (i + 1 < result.size() && result[i + 1] == '\n')
                ++i;
        } else {
            normal += result[i];
        }
    }
    return normal;
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

namespace {

struct BoxAnswerer {
    UINT_PTR timer = 0;
    int button = IDOK;
    std::string caption;
    std::vector<SeenBox> seen;
    std::vector<HWND> answered;
};
BoxAnswerer answerer;

BOOL CALLBACK AnswerIfBox(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    char className[64];
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0)
        return TRUE;
    char caption[256];
    GetWindowTextA(window, caption, sizeof caption);
    if (!answerer.caption.empty() && answerer.caption != caption)
        return TRUE;
    for (HWND done : answerer.answered)
        if (done == window)
            return TRUE;
    char text[1024] = "";
    if (HWND body = GetDlgItem(window, 0xFFFF))
        GetWindowTextA(body, text, sizeof text);
    answerer.seen.push_back({caption, text});
    answerer.answered.push_back(window);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(answerer.button, BN_CLICKED), 0);
    return TRUE;
}

void CALLBACK AnswerBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    EnumWindows(AnswerIfBox, 0);
}

}

void StartBoxAnswerer(int button, const char* caption)
{
    answerer.seen.clear();
    answerer.answered.clear();
    answerer.button = button;
    answerer.caption = caption;
    if (!answerer.timer)
        answerer.timer = SetTimer(nullptr, 0, 50, AnswerBoxes);
}

std::vector<SeenBox> StopBoxAnswerer()
{
    if (answerer.timer)
        KillTimer(nullptr, answerer.timer);
    answerer.timer = 0;
    return answerer.seen;
}
