#include "startup.h"

#include <commctrl.h>
#include <objbase.h>
#include <cstdio>

#include "../entries/finger_entry.h"
#include "../entries/registry.h"
#include "../entries/settings.h"
#include "../jobs/host_lookup.h"
#include "../jobs/job_queue.h"
#include "../jobs/scheduling.h"
#include "../jobs/task_thread.h"
#include "../jobs/winsock.h"
#include "../output/html_output.h"
#include "../output/monitor_files.h"
#include "../resources/resource.h"
#include "../ui/entry_list_view.h"
#include "command_line.h"
#include "main_window.h"
#include "shell_handles.h"
#include "status_bar.h"
#include "tray_icon.h"

namespace {

constexpr char WELCOME_DOCUMENT[] = "Welcome.rtf";
constexpr UINT MAIN_TIMER_PERIOD_MS = 1000;
constexpr int DEFAULT_WHEEL_LINES = 3;

bool comInitialised;

void ShowLastSystemError(const char* title)
{
    ShowSystemError(GetLastError(), title);
}

bool OtherInstanceRunning()
{
    if (!FindWindowA(MAIN_WINDOW_CLASS, nullptr))
        return false;
    MessageBoxA(GetDesktopWindow(), "Ombrelane is already running.\n", "Ombrelane", MB_OK | MB_ICONEXCLAMATION);
    return true;
}

void LoadShellIcons()
{
    ShellHandles.mainIcon = LoadIconA(ShellHandles.instance, MAKEINTRESOURCEA(IDI_MAIN));
    const int trayIconIds[3] = {IDI_TRAY_IDLE, IDI_TRAY_BUSY, IDI_TRAY_NOTIFY};
    for (int i = 0; i < 3; ++i)
        ShellHandles.trayIcons[i] = static_cast<HICON>(
            LoadImageA(ShellHandles.instance, MAKEINTRESOURCEA(trayIconIds[i]), IMAGE_ICON, 16, 16, 0));
}

}

bool RegisterMainWindowClass()
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = ShellHandles.instance;
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN_MENU);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    return RegisterClassExA(&windowClass) != 0;
}

// Creates the main window (which builds its children) and takes its menu.
bool CreateMainWindow()
{
    HWND window = CreateWindowExA(0, MAIN_WINDOW_CLASS, "Ombrelane", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                  ShellHandles.instance, nullptr);
    if (!window) {
        ShowLastSystemError("Couldn't create the main window.");
        return false;
    }
    ShellHandles.mainWindow = window;
    ShellHandles.mainMenu = GetMenu(window);
    if (!ShellHandles.mainMenu) {
        ShowLastSystemError("Couldn't get the main window menu handle.");
        return false;
    }
    return true;
}

namespace {

// The lines one wheel notch scrolls, as the system or an old wheel driver says.
int QueryWheelScrollLines()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return DEFAULT_WHEEL_LINES;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 4) {
        UINT lines = DEFAULT_WHEEL_LINES;
        SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
        return static_cast<int>(lines);
    }
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS && version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return DEFAULT_WHEEL_LINES;
    HWND driver = FindWindowA("MouseZ", "Magellan MSWHEEL");
    UINT linesMessage = RegisterWindowMessageA("MSH_SCROLL_LINES_MSG");
    if (!driver || !linesMessage)
        return DEFAULT_WHEEL_LINES;
    return static_cast<int>(SendMessageA(driver, linesMessage, 0, 0));
}

void ShowFirstRunWelcome()
{
    if (Settings.options & OPT_WELCOME_SHOWN)
        return;
    // The document is looked for in the current folder, as a shortcut sets
    // it, and then beside the program.
    char path[PATH_SIZE];
    snprintf(path, sizeof path, "%s", WELCOME_DOCUMENT);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        snprintf(path, sizeof path, "%s%s", ProgramFolder, WELCOME_DOCUMENT);
    ShowWelcomeDocument(path);
    HWND owner = ShellHandles.mainWindow;
    MessageBoxA(owner,
                "Welcome to Ombrelane!\n\nTo get started, create some finger entries\nby clicking on the New button, "
                "or selecting\nNew Entry from the File menu.\n\nYou might want to try loading the samples\nsupplied, "
                "using Load Entries from the File\nmenu.",
                "Welcome to Ombrelane", MB_OK | MB_ICONINFORMATION);
    if (MessageBoxA(owner,
                    "Ombrelane has the ability to detect an HTML plan file and\nview it in a web browser.\n\nWould you "
                    "like to switch this feature on?\n\n(you can switch this feature on and off at any time\nby going "
                    "to the Tools->Options menu)",
                    "Welcome to Ombrelane", MB_YESNO | MB_ICONQUESTION) == IDYES)
        Settings.options |= OPT_AUTO_HTML;
    Settings.options |= OPT_WELCOME_SHOWN;
}

// True when the loop must end before this message is handled.
bool LoopMustEnd()
{
    if (JobQueue.jobState & JS_THREAD_ENDED)
        return true;
    return (StartupSwitches & SWITCH_EXIT_WHEN_IDLE) && GetJobCount() == 0;
}

void DoIdleWork()
{
    ResortIfRequested();
    RefreshStatusIfDirty();
    NotifyChangedEntries();
}

void RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (LoopMustEnd())
            break;
        if (!IsNotificationMessage(&message) &&
            !TranslateAcceleratorA(ShellHandles.mainWindow, ShellHandles.accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DoIdleWork();
    }
}

// Stops the task thread before anything it uses is released: every way out of
// the loop (closing, Exit, exit-when-idle) ends here. The wait sleeps until a
// message is sent to this thread or a short slice passes, handling sent
// messages so that a task thread sending to our windows can always finish.
void StopTaskThread()
{
    if (!JobQueue.JobListMutex || (JobQueue.jobState & JS_THREAD_ENDED))
        return;
    RequestShutdown();
    while (!(JobQueue.jobState & JS_THREAD_ENDED)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// Start-up steps up to the message loop; returns -1 to go on, or the exit code.
int StartUp(HINSTANCE instance, const char* commandLine, int showCommand)
{
    HostLookupState.lookupDone = 0;
    ShellHandles.instance = instance;
    ShellHandles.mainWindow = GetDesktopWindow();

    InitCommonControls();
    comInitialised = SUCCEEDED(CoInitialize(nullptr));
    if (OtherInstanceRunning())
        return 1;
    ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
    if (!ShellHandles.richEditLibrary) {
        ShowLastSystemError("Couldn't load the RichEdit32 library.");
        return 1;
    }
    FetchDefaultEntryFont();
    if (LoadSettings() != 0)
        return 1;
    LoadShellIcons();
    if (!SetUpPaths())
        return 1;
    MigrateMonitorFiles();
    if (!RegisterMainWindowClass()) {
        ShowLastSystemError("Couldn't register the main window class.");
        return 1;
    }
    if (!CreateMainWindow())
        return 1;
    RegisterWheelMessages();
    if (StartWinsock() != 0)
        return 1;
    ShellHandles.accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_ACCELERATORS));
    if (StartTaskThread(ShellHandles.mainWindow) != 0)
        return 1;
    if (ParseCommandLine(ShellHandles.mainWindow, commandLine) != 0)
        return 1;
    if (StartupSwitches & FE_ALL_GROUPS)
        FingerEntriesInGroups(StartupSwitches & FE_ALL_GROUPS);
    ShowWindow(ShellHandles.mainWindow, showCommand);
    UpdateWindow(ShellHandles.mainWindow);
    ScheduleAllAutoEntries();
    FingerDueEntries();
    UpdateStatusBar();
    TrayAdd();
    if (!SetTimer(ShellHandles.mainWindow, IDT_MAIN_TIMER, MAIN_TIMER_PERIOD_MS, nullptr)) {
        MessageBoxA(ShellHandles.mainWindow, "Couldn't create a timer", "Ombrelane error", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    ShowFirstRunWelcome();
    return -1;
}

}

void RegisterWheelMessages()
{
    WheelMessage = RegisterWindowMessageA("MSWHEEL_ROLLMSG");
    if (!WheelMessage) {
        WheelScrollLines = 0;
        MessageBoxA(GetDesktopWindow(), "Couldn't register MSH_MOUSEWHEEL", "Error", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    WheelScrollLines = QueryWheelScrollLines();
}

void Shutdown()
{
    StopTaskThread();
    if (ShellHandles.mainWindow && ShellHandles.mainWindow != GetDesktopWindow() &&
        IsWindow(ShellHandles.mainWindow))
        DestroyWindow(ShellHandles.mainWindow);
    ShellHandles.mainWindow = nullptr;
    if (ShellHandles.entryContextMenu)
        DestroyMenu(ShellHandles.entryContextMenu);
    ShellHandles.entryContextMenu = nullptr;
    if (ShellHandles.trayMenu)
        DestroyMenu(ShellHandles.trayMenu);
    ShellHandles.trayMenu = nullptr;
    StopWinsock();
    TrayRemove();
    SaveSettings();
    if (ShellHandles.richEditLibrary)
        FreeLibrary(ShellHandles.richEditLibrary);
    ShellHandles.richEditLibrary = nullptr;
    FreeAnswerBuffers();
    ReleaseJobMutexes();
    if (comInitialised)
        CoUninitialize();
    comInitialised = false;
}

int RunProgram(HINSTANCE instance, const char* commandLine, int showCommand)
{
    const int startResult = StartUp(instance, commandLine, showCommand);
    if (startResult >= 0) {
        Shutdown();
        return startResult;
    }
    RunMessageLoop();
    Shutdown();
    return 0;
}
