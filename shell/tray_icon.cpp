#include "shell/tray_icon.h"

#include <cstdio>
#include <cstring>

#include "jobs/job_queue.h"
#include "output/change_notification.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "shell/status_bar.h"

const int TrayIconTable[16] = {0, 0, 0, 0, 0, 1, 0, 1, 0, 2, 0, 2, 0, 2, 1, 2};
int TrayFrame;

namespace {

// The shell reads the first version of the record: its tip holds 63
// characters and the terminating zero.
constexpr DWORD TRAY_RECORD_SIZE = NOTIFYICONDATAA_V1_SIZE;
constexpr int TRAY_TIP_SIZE = 64;

NOTIFYICONDATAA trayRecord;
bool trayAdded = false;

void RestoreMainWindow()
{
    HWND window = ShellHandles.mainWindow;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (GetWindowPlacement(window, &placement) && placement.showCmd == SW_SHOWMINIMIZED) {
        placement.showCmd = SW_SHOWNORMAL;
        SetWindowPlacement(window, &placement);
    }
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(window);
}

void ShowTrayMenu(POINT cursor)
{
    SetForegroundWindow(ShellHandles.mainWindow);
    TrackPopupMenu(ShellHandles.trayMenu, TPM_RIGHTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0,
                   ShellHandles.mainWindow, nullptr);
}

}

int CurrentTrayImage()
{
    int index = TrayFrame & 3;
    if (GetJobState() & JS_BUSY)
        index += 4;
    if (OpenNotificationCount != 0)
        index += 8;
    return TrayIconTable[index];
}

void AdvanceTrayFrame()
{
    TrayFrame = (TrayFrame + 1) % 4;
}

NOTIFYICONDATAA* FillTrayIconData(UINT flags)
{
    trayRecord.cbSize = TRAY_RECORD_SIZE;
    trayRecord.hWnd = ShellHandles.mainWindow;
    trayRecord.uID = IDC_TRAY_ICON;
    trayRecord.hIcon = ShellHandles.trayIcons[CurrentTrayImage()];
    trayRecord.uFlags = flags;
    if (flags & NIF_MESSAGE)
        trayRecord.uCallbackMessage = WM_USER;
    if (flags & NIF_TIP) {
        memset(trayRecord.szTip, 0, sizeof trayRecord.szTip);
        snprintf(trayRecord.szTip, TRAY_TIP_SIZE, "%s", StatusTipCopy);
    }
    return &trayRecord;
}

void TrayReset()
{
    trayAdded = false;
    TrayFrame = 0;
}

void TrayAdd()
{
    if (!trayAdded && Shell_NotifyIconA(NIM_ADD, FillTrayIconData(NIF_MESSAGE | NIF_ICON)))
        trayAdded = true;
    TrayUpdate();
}

void TrayUpdate()
{
    if (trayAdded)
        Shell_NotifyIconA(NIM_MODIFY, FillTrayIconData(NIF_ICON | NIF_TIP));
}

void TrayRemove()
{
    if (!trayAdded)
        return;
    Shell_NotifyIconA(NIM_DELETE, FillTrayIconData(0));
    trayAdded = false;
}

bool TrayIconAdded()
{
    return trayAdded;
}

void TrayCallback(WPARAM wParam, LPARAM lParam)
{
    POINT cursor = {};
    GetCursorPos(&cursor);
    switch (lParam) {
    case WM_LBUTTONDOWN:
        if (wParam == IDC_TRAY_ICON)
            RestoreMainWindow();
        break;
    case WM_RBUTTONDOWN:
        ShowTrayMenu(cursor);
        break;
    default:
        break;
    }
}
