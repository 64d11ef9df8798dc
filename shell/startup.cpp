#include "shell/startup.h"

#include <commctrl.h>
#include <objbase.h>
#include <cstdio>

#include "entries/finger_entry.h"
#include "entries/message_box.h"
#include "entries/registry.h"
#include "entries/settings.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "jobs/task_thread.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "output/change_notification.h"
#include "output/html_output.h"
#include "output/monitor_migration.h"
#include "output/output_window.h"
#include "output/print_output.h"
#include "resources/resource.h"
#include "shell/command_line.h"
#include "shell/job_reports.h"
#include "shell/main_window.h"
#include "shell/shell_handles.h"
#include "shell/status_bar.h"
#include "shell/tray_icon.h"
#include "ui/entry_list_view.h"

namespace {

constexpr char WELCOME_DOCUMENT[] = "Welcome.rtf";
constexpr UINT MAIN_TIMER_PERIOD_MS = 1000;
constexpr int DEFAULT_WHEEL_LINES = 3;

bool comInitialised;

void ShowLastSystemError(const char* title)
{
    ShowSystemError(GetLastError(), title);
}

void ShowRegistryErrors(const RegistryErrors& errors)
{
    for (const RegistryError& error : errors)
        ShowSystemError(static_cast<DWORD>(error.code), error.title);
}

bool OtherInstanceRunning()
{
    if (!FindWindowA(MAIN_WINDOW_CLASS, nullptr))
        return false;
    ShowMessageBox("Ombrelane is already running.\n", "Ombrelane");
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

int RegisterMainWindowClass()
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
    return RegisterClassExA(&windowClass) != 0 ? 0 : 1;
}

// Creates the main window (which builds its children) and takes its menu.
int CreateMainWindow()
{
    HWND window = CreateWindowExA(0, MAIN_WINDOW_CLASS, "Ombrelane", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                  ShellHandles.instance, nullptr);
    if (!window) {
        ShowLastSystemError("Couldn't create the main window.");
        return 1;
    }
    ShellHandles.mainWindow = window;
    SetMessageOwner(window);
    SetHostLookupWindow(window);
    ShellHandles.mainMenu = GetMenu(window);
    if (!ShellHandles.mainMenu) {
        ShowLastSystemError("Couldn't get the main window menu handle.");
        return 1;
    }
    return 0;
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
    ShowMessageBox("Welcome to Ombrelane!\n\nTo get started, create some finger entries\nby clicking on the New button, "
                   "or selecting\nNew Entry from the File menu.\n\nYou might want to try loading the samples\nsupplied, "
                   "using Load Entries from the File\nmenu.",
                   "Welcome to Ombrelane", MB_OK | MB_ICONINFORMATION);
    if (ShowMessageBox("Ombrelane has the ability to detect an HTML plan file and\nview it in a web browser.\n\nWould "
                       "you like to switch this feature on?\n\n(you can switch this feature on and off at any time\nby "
                       "going to the Tools->Options menu)",
                       "Welcome to Ombrelane", MB_YESNO | MB_ICONQUESTION) == IDYES)
        Settings.options |= OPT_AUTO_HTML;
    Settings.options |= OPT_WELCOME_SHOWN;
}

// True when the loop must end before this message is handled.
bool LoopMustEnd()
{
    if (GetJobState() & JS_THREAD_ENDED)
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
    if (!TaskThreadRunning())
        return;
    RequestShutdown();
    while (!(GetJobState() & JS_THREAD_ENDED)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// Start-up steps up to the message loop; returns -1 to go on, or the exit code.
int StartUp(HINSTANCE instance, const char* commandLine, int showCommand)
{
    InstallJobEventHandlers();
    ShellHandles.instance = instance;

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
    RegistryErrors loadErrors;
    const int loaded = LoadSettings(loadErrors);
    ShowRegistryErrors(loadErrors);
    if (loaded != 0)
        return 1;
    LoadShellIcons();
    if (SetUpPaths() != 0)
        return 1;
    MigrateMonitorFiles();
    if (RegisterMainWindowClass() != 0) {
        ShowLastSystemError("Couldn't register the main window class.");
        return 1;
    }
    if (CreateMainWindow() != 0)
        return 1;
    RegisterWheelMessages();
    if (StartWinsock() != 0)
        return 1;
    ShellHandles.accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_ACCELERATORS));
    InitPrintSetup(ShellHandles.mainWindow);
    if (StartTaskThread() != 0)
        return 1;
    if (ParseCommandLine(commandLine) != 0)
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
        ShowMessageBox("Couldn't create a timer", "Ombrelane error");
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
        ShowMessageBox("Couldn't register MSH_MOUSEWHEEL", "Error");
        return;
    }
    WheelScrollLines = QueryWheelScrollLines();
}

void Shutdown()
{
    StopTaskThread();
    // The last block positions are stored with the entries.
    ShowQueuedOutput();
    if (ShellHandles.mainWindow && IsWindow(ShellHandles.mainWindow))
        DestroyWindow(ShellHandles.mainWindow);
    ShellHandles.mainWindow = nullptr;
    SetMessageOwner(nullptr);
    SetHostLookupWindow(nullptr);
    if (ShellHandles.entryContextMenu)
        DestroyMenu(ShellHandles.entryContextMenu);
    ShellHandles.entryContextMenu = nullptr;
    if (ShellHandles.trayMenu)
        DestroyMenu(ShellHandles.trayMenu);
    ShellHandles.trayMenu = nullptr;
    StopWinsock();
    FreePrintSetup();
    TrayRemove();
    RegistryErrors saveErrors;
    SaveSettings(saveErrors);
    ShowRegistryErrors(saveErrors);
    if (ShellHandles.richEditLibrary)
        FreeLibrary(ShellHandles.richEditLibrary);
    ShellHandles.richEditLibrary = nullptr;
    FreeAnswerBuffers(TaskThreadRunning());
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
