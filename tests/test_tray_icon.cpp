// The tray icon: its picture, tip, shell record, clicks and menu.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "jobs/job_queue.h"
#include "output/monitor_files.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "shell/status_bar.h"
#include "shell/tray_icon.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

// What the stand-in main window saw of the tray menu.
struct MenuSighting {
    int popupsOpened = 0;        // WM_INITMENUPOPUP for the tray menu
    int menuWindowsSeen = 0;     // a visible menu window showing the tray menu
    std::vector<WPARAM> commands;
};
MenuSighting sighting;
WNDPROC standInProcedure = nullptr;
// Keys sent to the open menu before it is closed; none: it is dismissed.
std::vector<UINT> menuKeys;

LRESULT CALLBACK RecordingMainWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITMENUPOPUP && reinterpret_cast<HMENU>(wParam) == ShellHandles.trayMenu)
        ++sighting.popupsOpened;
    if (message == WM_COMMAND)
        sighting.commands.push_back(wParam);
    return CallWindowProcA(standInProcedure, window, message, wParam, lParam);
}

// Runs inside the menu's own loop: notes the open menu, then presses the
// keys or closes it.
void CALLBACK CloseTrayMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND menuWindow = FindWindowA("#32768", nullptr);
    if (!menuWindow || !IsWindowVisible(menuWindow))
        return;
    KillTimer(nullptr, timer);
    constexpr UINT MENU_GET_HANDLE = 0x01E1;
    if (reinterpret_cast<HMENU>(SendMessageA(menuWindow, MENU_GET_HANDLE, 0, 0)) == ShellHandles.trayMenu)
        ++sighting.menuWindowsSeen;
    if (menuKeys.empty()) {
        EndMenu();
        return;
    }
    for (UINT key : menuKeys)
        PostMessageA(menuWindow, WM_KEYDOWN, key, 0);
}

HICON LoadTrayImage(int id)
{
    return static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
}

// True when the shell holds an icon of ours: only then may it be modified.
bool ShellHasIcon()
{
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = ShellHandles.mainWindow;
    record.uID = IDC_TRAY_ICON;
    return Shell_NotifyIconA(NIM_MODIFY, &record) != 0;
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestProgramOptions options;
        options.startTaskThread = false;
        StartTestProgram(options);
        ShellHandles.trayIcons[0] = LoadTrayImage(IDI_TRAY_IDLE);
        ShellHandles.trayIcons[1] = LoadTrayImage(IDI_TRAY_BUSY);
        ShellHandles.trayIcons[2] = LoadTrayImage(IDI_TRAY_NOTIFY);
        menuResource = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_TRAY_MENU));
        ShellHandles.trayMenu = GetSubMenu(menuResource, 0);
        standInProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            ShellHandles.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingMainWindow)));
        sighting = {};
        menuKeys.clear();
        OpenNotificationCount = 0;
        TrayReset();
    }
    void TearDown() override
    {
        TrayRemove();
        OpenNotificationCount = 0;
        DestroyMenu(menuResource);
        ShellHandles.trayMenu = nullptr;
        for (HICON& icon : ShellHandles.trayIcons) {
            DestroyIcon(icon);
            icon = nullptr;
        }
        StopTestProgram();
    }

    // Right click on the icon; the menu is answered from inside its loop,
    // and whatever it posted is handled.
    void RightClick(WPARAM iconId = IDC_TRAY_ICON)
    {
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseTrayMenu);
        TrayCallback(iconId, WM_RBUTTONDOWN);
        KillTimer(nullptr, timer);
        PumpMessagesFor(0);
    }

    HMENU menuResource = nullptr;
};

TEST_F(TrayIconTest, PictureFollowsFrameBusyAndNotifications)
{
    const int expected[16] = {0, 0, 0, 0, 0, 1, 0, 1, 0, 2, 0, 2, 0, 2, 1, 2};
    for (int index = 0; index < 16; ++index) {
        TrayFrame = index % 4;
        JobQueue.jobState = (index & 4) ? JS_BUSY | JS_RUNNING : JS_RUNNING;
        OpenNotificationCount = (index & 8) ? 2 : 0;
        EXPECT_EQ(CurrentTrayImage(), expected[index]) << "state " << index;
        EXPECT_EQ(FillTrayIconData(NIF_ICON)->hIcon, ShellHandles.trayIcons[expected[index]]) << "state " << index;
    }
    JobQueue.jobState = 0;

    TrayFrame = 0;
    for (int frame : {1, 2, 3, 0, 1}) {
        AdvanceTrayFrame();
        EXPECT_EQ(TrayFrame, frame);
    }
    TrayReset();
    EXPECT_EQ(TrayFrame, 0);
    EXPECT_FALSE(TrayIconAdded());
}

TEST_F(TrayIconTest, RecordCallsBackAndTipIsTheStatusTextCutAt63Characters)
{
    const NOTIFYICONDATAA* record = FillTrayIconData(NIF_MESSAGE | NIF_ICON);
    EXPECT_EQ(record->hWnd, ShellHandles.mainWindow);
    EXPECT_EQ(record->uID, static_cast<UINT>(IDC_TRAY_ICON));
    EXPECT_EQ(record->uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON));
    EXPECT_EQ(record->uCallbackMessage, static_cast<UINT>(WM_USER));

    std::string text = "Next auto finger in 2 hours, 2 minutes (" + std::string(120, 'd') + ")";
    SetStatusText(0, text.c_str());
    record = FillTrayIconData(NIF_ICON | NIF_TIP);
    EXPECT_EQ(std::string(record->szTip), text.substr(0, 63));

    // A shorter text leaves nothing of the longer one behind.
    SetStatusText(0, "All Jobs Paused");
    record = FillTrayIconData(NIF_TIP);
    EXPECT_STREQ(record->szTip, "All Jobs Paused");
    for (size_t i = strlen("All Jobs Paused"); i < sizeof record->szTip; ++i)
        ASSERT_EQ(record->szTip[i], '\0') << i;
}

TEST_F(TrayIconTest, AddedOnlyWhenTheShellAcceptsAndRemovedOnce)
{
    // Without an add nothing reaches the shell.
    TrayUpdate();
    TrayRemove();
    EXPECT_FALSE(TrayIconAdded());
    EXPECT_FALSE(ShellHasIcon());

    SetStatusText(0, "Ombrelane Ready");
    TrayAdd();
    const bool accepted = TrayIconAdded();
    EXPECT_EQ(ShellHasIcon(), accepted);
    TrayAdd();
    EXPECT_EQ(TrayIconAdded(), accepted);
    EXPECT_EQ(ShellHasIcon(), accepted);

    TrayRemove();
    EXPECT_FALSE(TrayIconAdded());
    EXPECT_FALSE(ShellHasIcon());
    TrayRemove();
    EXPECT_FALSE(TrayIconAdded());
}

TEST_F(TrayIconTest, LeftClickBringsBackAMinimisedHiddenWindow)
{
    HWND window = ShellHandles.mainWindow;
    ShowWindow(window, SW_SHOWNORMAL);
    ShowWindow(window, SW_MINIMIZE);
    ShowWindow(window, SW_HIDE);
    ASSERT_TRUE(IsIconic(window));
    ASSERT_FALSE(IsWindowVisible(window));

    // Other mouse messages, and clicks on another icon id, do nothing.
    TrayCallback(IDC_TRAY_ICON, WM_MOUSEMOVE);
    TrayCallback(IDC_TRAY_ICON, WM_LBUTTONUP);
    TrayCallback(IDC_TRAY_ICON, WM_LBUTTONDBLCLK);
    TrayCallback(IDC_TRAY_ICON + 1, WM_LBUTTONDOWN);
    PumpMessagesFor(0);
    EXPECT_FALSE(IsWindowVisible(window));

    TrayCallback(IDC_TRAY_ICON, WM_LBUTTONDOWN);
    PumpMessagesFor(0);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    EXPECT_EQ(placement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(GetForegroundWindow(), window);
}

TEST_F(TrayIconTest, RightClickOpensTheTrayMenuAndAChosenItemArrivesAsCommand)
{
    // Dismissed while the window is hidden: nothing chosen.
    ShowWindow(ShellHandles.mainWindow, SW_HIDE);
    RightClick();
    EXPECT_EQ(sighting.popupsOpened, 1);
    EXPECT_EQ(sighting.menuWindowsSeen, 1);
    EXPECT_TRUE(sighting.commands.empty());
    EXPECT_FALSE(IsWindowVisible(FindWindowA("#32768", nullptr)));

    // Any icon id opens it; down to the first item, "New Entry", and choose it.
    ShowWindow(ShellHandles.mainWindow, SW_SHOWNORMAL);
    menuKeys = {VK_DOWN, VK_RETURN};
    RightClick(IDC_TRAY_ICON + 1);
    EXPECT_EQ(sighting.popupsOpened, 2);
    EXPECT_EQ(sighting.menuWindowsSeen, 2);
    ASSERT_EQ(sighting.commands.size(), 1u);
    EXPECT_EQ(LOWORD(sighting.commands[0]), IDM_TRAY_NEW_ENTRY);
}

}
