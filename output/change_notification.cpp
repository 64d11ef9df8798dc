#include "output/change_notification.h"

#include <atomic>
#include <cstdio>
#include <vector>

#include "resources/resource.h"

uint32_t OpenNotificationCount;
uint32_t ChangeBeepCount;

namespace {

// Two 127-character fields and the fixed words.
char NotificationText[2 * DESCRIPTION_SIZE + 32];

// The open notification windows, offered every message of the main loop.
std::vector<HWND> openNotifications;

void ForgetNotification(HWND window)
{
    for (size_t i = 0; i < openNotifications.size(); ++i) {
        if (openNotifications[i] == window) {
            openNotifications.erase(openNotifications.begin() + static_cast<std::ptrdiff_t>(i));
            if (OpenNotificationCount > 0)
                --OpenNotificationCount;
            return;
        }
    }
}

}

void NotifyChangedEntries()
{
    LockEntryList();
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (std::atomic_ref<uint32_t>(entry->changed).exchange(0) != 0) {
            ShowChangeNotification(entry);
            MessageBeep(MB_ICONASTERISK);
            ++ChangeBeepCount;
        }
    }
    UnlockEntryList();
}

void ShowChangeNotification(FingerEntry* entry)
{
    if (entry->flags & FE_NOTIFY_OPEN)
        return;
    snprintf(NotificationText, sizeof NotificationText, "%s\n(\"%s\")\nhas changed.", entry->description,
             entry->address);
    HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CHANGE_NOTIFICATION),
                                     GetDesktopWindow(), ChangeNotificationProcedure, 0);
    if (!window)
        return;
    entry->notifyWindow = window;
    entry->flags |= FE_NOTIFY_OPEN;
    openNotifications.push_back(window);
    ++OpenNotificationCount;
}

void CloseChangeNotification(FingerEntry* entry)
{
    if (!(entry->flags & FE_NOTIFY_OPEN))
        return;
    HWND window = entry->notifyWindow;
    entry->flags &= ~static_cast<uint32_t>(FE_NOTIFY_OPEN);
    entry->notifyWindow = nullptr;
    if (window && IsWindow(window))
        DestroyWindow(window);
}

bool IsNotificationMessage(MSG* message)
{
    // A window that handles the message may close itself meanwhile, so the
    // walk ends at the first one that takes it.
    for (size_t i = 0; i < openNotifications.size(); ++i) {
        if (IsDialogMessageA(openNotifications[i], message))
            return true;
    }
    return false;
}

INT_PTR CALLBACK ChangeNotificationProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(window, IDC_NOTIFY_TEXT, NotificationText);
        return TRUE;
    case WM_COMMAND:
        PostMessageA(window, WM_CLOSE, 0, -1);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        // However the window goes (closed by the user, or with its entry),
        // the entry and the count forget it here.
        LockEntryList();
        for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
            if ((entry->flags & FE_NOTIFY_OPEN) && entry->notifyWindow == window) {
                entry->flags &= ~static_cast<uint32_t>(FE_NOTIFY_OPEN);
                entry->notifyWindow = nullptr;
                break;
            }
        }
        UnlockEntryList();
        ForgetNotification(window);
        return FALSE;
    }
    return FALSE;
}
