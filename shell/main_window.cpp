#include "shell/main_window.h"

#include <commctrl.h>
#include <richedit.h>

#include "entries/message_box.h"
#include "entries/settings.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "jobs/winsock.h"
#include "output/find_output.h"
#include "output/html_output.h"
#include "output/log_file.h"
#include "output/output_window.h"
#include "output/print_output.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "shell/status_bar.h"
#include "shell/toolbar.h"
#include "shell/tray_icon.h"
#include "ui/entries_file_commands.h"
#include "ui/entry_commands.h"
#include "ui/entry_list_view.h"
#include "ui/help_commands.h"
#include "ui/options_dialog.h"
#include "ui/quick_dialogs.h"

int StatusBarHeight;
UINT TaskbarCreatedMessage;
UINT WheelMessage;
int WheelScrollLines;

namespace {

constexpr int OUTPUT_MENU_POSITION = 4;

// The first popup of a menu resource, detached from its bar so that it can
// be destroyed on its own; null on failure.
HMENU LoadPopupMenu(int id)
{
    HMENU bar = LoadMenuA(ShellHandles.instance, MAKEINTRESOURCEA(id));
    if (!bar)
        return nullptr;
    HMENU popup = GetSubMenu(bar, 0);
    if (popup)
        RemoveMenu(bar, 0, MF_BYPOSITION);
    DestroyMenu(bar);
    return popup;
}

// Creates the children top to bottom and loads the menus they use; false at
// the first failure.
bool CreateChildren(HWND window)
{
    ShellHandles.toolbar = CreateMainToolbar(window);
    if (!ShellHandles.toolbar)
        return false;
    ShellHandles.statusBar = CreateMainStatusBar(window);
    if (!ShellHandles.statusBar)
        return false;
    if (!CreateEntryListView(window))
        return false;
    SetListViewStyle(static_cast<int>(Settings.listStyle));
    SaveColumnWidths();
    if (!CreateOutputWindow(window))
        return false;
    ShellHandles.entryContextMenu = LoadPopupMenu(IDM_ENTRY_CONTEXT);
    ShellHandles.trayMenu = LoadPopupMenu(IDM_TRAY_MENU);
    ShellHandles.outputMenu = GetSubMenu(GetMenu(window), OUTPUT_MENU_POSITION);
    SetOutputMenu(ShellHandles.outputMenu);
    return ShellHandles.entryContextMenu && ShellHandles.trayMenu && ShellHandles.outputMenu;
}

// A saved rectangle counts as on screen when one of its edges lies on it.
bool RectangleOnScreen(const RECT& rect)
{
    const int width = GetSystemMetrics(SM_CXFULLSCREEN);
    const int height = GetSystemMetrics(SM_CYFULLSCREEN);
    auto inside = [](LONG value, int limit) { return value >= 0 && value < limit; };
    return inside(rect.left, width) || inside(rect.right, width) || inside(rect.top, height) ||
           inside(rect.bottom, height);
}

void RestorePlacement(HWND window)
{
    const RECT& saved = Settings.windowRect;
    if (!(Settings.options & OPT_REMEMBER_POSITION) || (saved.right == 0 && saved.bottom == 0))
        return;
    if (RectangleOnScreen(saved))
        MoveWindow(window, saved.left, saved.top, saved.right - saved.left, saved.bottom - saved.top, FALSE);
}

LRESULT OnCreate(HWND window)
{
    TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ShellHandles.mainIcon));
    if (!CreateChildren(window)) {
        ShowMessageBox("Ombrelane couldn't open its windows.", "Unlucky");
        return -1;
    }
    TrayReset();
    FillEntryListView();
    RedrawAllRows();
    RestorePlacement(window);
    return 0;
}

void OnDestroy(HWND window)
{
    GetWindowRect(window, &Settings.windowRect);
    SaveColumnWidths();
    SaveToolbarButtons();
    TrayRemove();
    PostQuitMessage(0);
}

void OnSize(HWND window, WPARAM sizeType)
{
    constexpr UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (sizeType == SIZE_MINIMIZED && (Settings.options & OPT_HIDE_WHEN_MINIMISED))
        SetWindowPos(window, nullptr, 0, 0, 0, 0, keep | SWP_HIDEWINDOW);
    LayoutMainWindow(window);
    if (sizeType == SIZE_RESTORED)
        SetWindowPos(window, nullptr, 0, 0, 0, 0, keep | SWP_SHOWWINDOW);
}

void OnClose(HWND window)
{
    if (GetJobCount() != 0 &&
        ShowMessageBox("Ombrelane still has jobs left to do.\n\nDo you really want to exit?", "Close Ombrelane",
                       MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    RequestShutdown();
    UpdateStatusBar();
}

void OnTimer()
{
    AdvanceTrayFrame();
    FingerDueEntries();
    UpdateStatusBar();
    TrayUpdate();
}

LRESULT OnNotify(HWND window, WPARAM wParam, LPARAM lParam)
{
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (OnEntryListNotify(window, header, ShellHandles.entryContextMenu))
        return 0;
    LRESULT result = 0;
    if (OnToolbarNotify(header, &result))
        return result;
    return DefWindowProcA(window, WM_NOTIFY, wParam, lParam);
}

// Scrolls the output pane by whole wheel notches. As everywhere in Windows, a
// positive delta (the wheel turned away from the user) moves toward earlier
// lines.
void ScrollOutputByWheel(int delta)
{
    if (OutputWindow)
        SendMessageA(OutputWindow, EM_LINESCROLL, 0, -(delta / WHEEL_DELTA) * WheelScrollLines);
}

// The command table: every command the menus, keys, toolbar and tray send.
using CommandHandler = void (*)(HWND);

struct Command {
    int id;
    CommandHandler handler;
};

void SendDestroy(HWND window)
{
    SendMessageA(window, WM_DESTROY, 0, 0);
}

void SelectAllWhenListFocused(HWND)
{
    if (GetFocus() == EntryListView)
        SelectAllRows();
}

// The split between list and pane changes only on the dialog's OK.
void ShowOptions(HWND window)
{
    bool splitChanged = false;
    OptionsDialog(window, splitChanged);
    if (splitChanged)
        LayoutMainWindow(window);
}

void ShowWinsockInformation(HWND window)
{
    DialogBoxParamA(ShellHandles.instance, MAKEINTRESOURCEA(IDD_WINSOCK_INFO), window, WinsockInfoDialog, 0);
}

const Command CommandTable[] = {
    {IDM_SELECT_ALL, SelectAllWhenListFocused},
    {IDM_EXIT, SendDestroy},
    {IDM_TRAY_CLOSE, SendDestroy},
    {IDM_VIEW_JOBS, [](HWND) { ViewJobs(); }},
    {IDM_VIEW_LOG, ViewLog},
    {IDM_TRAY_VIEW_LOG, ViewLog},
    {IDM_CLEAR_LOG, [](HWND) { ClearLogCommand(); }},
    {IDM_VIEW_LARGE_ICONS, [](HWND) { SetListViewStyle(LVS_ICON); }},
    {IDM_VIEW_SMALL_ICONS, [](HWND) { SetListViewStyle(LVS_SMALLICON); }},
    {IDM_VIEW_LIST, [](HWND) { SetListViewStyle(LVS_LIST); }},
    {IDM_VIEW_DETAILS, [](HWND) { SetListViewStyle(LVS_REPORT); }},
    {IDM_NEW_ENTRY, NewEntry},
    {IDM_TRAY_NEW_ENTRY, NewEntry},
    {IDM_PROPERTIES, EditEntryProperties},
    {IDM_CTX_PROPERTIES, EditEntryProperties},
    {IDM_CLEAR_FINGER_COUNT, ClearFingerCount},
    {IDM_DELETE, DeleteSelectedEntries},
    {IDM_CTX_DELETE, DeleteSelectedEntries},
    {IDM_SET_GROUPS, SetGroupsOfSelection},
    {IDM_CTX_SET_GROUPS, SetGroupsOfSelection},
    {IDM_LOAD_ENTRIES, [](HWND window) { LoadEntriesFile(window, false); }},
    {IDM_MERGE_ENTRIES, [](HWND window) { LoadEntriesFile(window, true); }},
    {IDM_SAVE_ENTRIES, [](HWND window) { SaveEntriesFile(window, false); }},
    {IDM_SAVE_SELECTED, [](HWND window) { SaveEntriesFile(window, true); }},
    {IDM_FINGER, FingerSelectedEntries},
    {IDM_CTX_FINGER, FingerSelectedEntries},
    {IDM_FINGER_MAIL, [](HWND) { StartGroupFinger(0); }},
    {IDM_TRAY_FINGER_MAIL, [](HWND) { StartGroupFinger(0); }},
    {IDM_FINGER_STATUS, [](HWND) { StartGroupFinger(1); }},
    {IDM_TRAY_FINGER_STATUS, [](HWND) { StartGroupFinger(1); }},
    {IDM_FINGER_GROUP1, [](HWND) { StartGroupFinger(2); }},
    {IDM_TRAY_FINGER_GROUP1, [](HWND) { StartGroupFinger(2); }},
    {IDM_FINGER_GROUP2, [](HWND) { StartGroupFinger(3); }},
    {IDM_TRAY_FINGER_GROUP2, [](HWND) { StartGroupFinger(3); }},
    {IDM_FINGER_GROUP3, [](HWND) { StartGroupFinger(4); }},
    {IDM_TRAY_FINGER_GROUP3, [](HWND) { StartGroupFinger(4); }},
    {IDM_PAUSE_JOBS, [](HWND) { PauseJobs(); }},
    {IDM_TRAY_PAUSE_JOBS, [](HWND) { PauseJobs(); }},
    {IDM_KILL_JOBS, [](HWND) { KillAllJobs(); }},
    {IDM_TRAY_KILL_JOBS, [](HWND) { KillAllJobs(); }},
    {IDM_WINSOCK_INFO, ShowWinsockInformation},
    {IDM_OPTIONS, ShowOptions},
    {IDM_QUICK_FINGER, QuickFinger},
    {IDM_TRAY_QUICK_FINGER, QuickFinger},
    {IDM_WHOIS, QuickWhois},
    {IDM_TRAY_QUICK_WHOIS, QuickWhois},
    {IDM_ABOUT, ShowAboutBox},
    {IDM_HELP, OpenHelpDocument},
    {IDM_WHATS_NEW, OpenWhatsNew},
    {IDM_TRAY_OPTIONS, ShowOptions},
    {IDM_VIEW_LAST_OUTPUT, ViewLastOutput},
    {IDM_CTX_VIEW_LAST_OUTPUT, ViewLastOutput},
    {IDM_JUMP_TO_LAST_OUTPUT, [](HWND) { JumpToLastOutput(); }},
    {IDM_CTX_JUMP_TO_OUTPUT, [](HWND) { JumpToLastOutput(); }},
    {IDM_CUSTOMIZE, [](HWND) { CustomizeToolbar(); }},
    {IDM_OUTPUT_COPY, [](HWND) { CopyOutput(); }},
    {IDM_OUTPUT_SAVE, [](HWND) { SaveOutput(); }},
    {IDM_OUTPUT_CLEAR, [](HWND) { ClearOutput(); }},
    {IDM_OUTPUT_FIND, FindInOutput},
    {IDM_OUTPUT_FIND_AGAIN, FindAgain},
    {IDM_OUTPUT_PRINT, PrintOutput},
    {IDM_DUMP_LIST_VIEW, [](HWND) { DumpEntryListView(); }},
};

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (!RunCommand(window, LOWORD(wParam)))
        return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    return 0;
}

}

bool RunCommand(HWND mainWindow, int id)
{
    if (id < IDM_FIRST_COMMAND || id > IDM_LAST_COMMAND)
        return false;
    for (const Command& command : CommandTable) {
        if (command.id == id) {
            command.handler(mainWindow);
            return true;
        }
    }
    return false;
}

HWND CreateMainStatusBar(HWND mainWindow)
{
    StatusDirty = 0;
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBARS_SIZEGRIP | CCS_BOTTOM, "",
                                   mainWindow, IDC_STATUS_BAR);
    if (!bar)
        return nullptr;
    RECT rect;
    GetWindowRect(bar, &rect);
    StatusBarHeight = rect.bottom - rect.top;
    return bar;
}

MainLayout ComputeMainLayout(int top, int bottom, int toolbarHeight, int statusBarHeight, int displaySplit)
{
    MainLayout layout;
    const int available = bottom - statusBarHeight - toolbarHeight - top;
    const int unit = available / 13;
    layout.outputHeight = (11 - displaySplit) * unit;
    layout.listHeight = available - layout.outputHeight;
    layout.listTop = toolbarHeight;
    layout.outputTop = toolbarHeight + layout.listHeight;
    layout.statusTop = toolbarHeight + available;
    return layout;
}

void LayoutMainWindow(HWND mainWindow)
{
    RECT client;
    GetClientRect(mainWindow, &client);
    const MainLayout layout =
        ComputeMainLayout(client.top, client.bottom, ToolbarHeight, StatusBarHeight, Settings.DisplaySplit);
    const int width = client.right - client.left;
    HDWP positions = BeginDeferWindowPos(4);
    if (!positions)
        return;
    constexpr UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (ShellHandles.toolbar)
        positions = DeferWindowPos(positions, ShellHandles.toolbar, nullptr, 0, 0, width, ToolbarHeight,
                                   flags | SWP_NOMOVE);
    if (positions && EntryListView)
        positions = DeferWindowPos(positions, EntryListView, nullptr, client.left, layout.listTop, width,
                                   layout.listHeight, flags);
    if (positions && OutputWindow)
        positions = DeferWindowPos(positions, OutputWindow, nullptr, client.left, layout.outputTop, width,
                                   layout.outputHeight, flags);
    if (positions && ShellHandles.statusBar)
        positions = DeferWindowPos(positions, ShellHandles.statusBar, nullptr, client.left, layout.statusTop, width,
                                   StatusBarHeight, flags);
    if (positions)
        EndDeferWindowPos(positions);
    if (ShellHandles.statusBar) {
        const int hundredth = client.right / 100;
        int edges[3] = {50 * hundredth, 90 * hundredth, client.right};
        SendMessageA(ShellHandles.statusBar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
    }
    UpdateStatusBar();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_SIZE:
        OnSize(window, wParam);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_TIMER:
        OnTimer();
        return 0;
    case WM_INITMENU:
        if (reinterpret_cast<HMENU>(wParam) == GetMenu(window))
            UpdateEntryMenu(window, reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(window, wParam, lParam);
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    case WM_MOUSEWHEEL:
        ScrollOutputByWheel(static_cast<short>(HIWORD(wParam)));
        return 0;
    case WM_USER:
        TrayCallback(wParam, lParam);
        return 0;
    case WM_HOST_LOOKUP_DONE:
        HostLookupDone(wParam, lParam);
        return 0;
    default:
        break;
    }
    if (WheelMessage && message == WheelMessage) {
        ScrollOutputByWheel(static_cast<int>(wParam));
    } else if (TaskbarCreatedMessage && message == TaskbarCreatedMessage) {
        TrayReset();
        TrayAdd();
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
