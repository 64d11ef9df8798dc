#include "ui/quick_dialogs.h"

#include "entries/finger_entry.h"
#include "entries/message_box.h"
#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "resources/resource.h"

namespace {

// Filled by the dialog on OK; the entry that joins the list is a copy.
FingerEntry QuickEntry;

bool quickFingerOpen;
bool quickWhoisOpen;

bool IsChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// A logged quick query is pointless while the log is off, so ticking the box
// offers to switch logging on for the whole program.
void OnLogBoxClicked(HWND dialog)
{
    if ((Settings.options & OPT_LOGGING) || !IsChecked(dialog, IDC_QUICK_LOG))
        return;
    const int answer = ShowMessageBox("Logging isn't currently enabled.\n\nWould you like to enable it now, so that\n"
                                      "this quick finger will be logged?",
                                      "Logging Not Enabled", MB_YESNO | MB_ICONINFORMATION);
    if (answer == IDYES)
        Settings.options |= OPT_LOGGING;
    else
        CheckDlgButton(dialog, IDC_QUICK_LOG, BST_UNCHECKED);
}

void StoreQuickEntry(HWND dialog)
{
    QuickEntry = {};
    QuickEntry.font = DefaultEntryFont;
    if (IsChecked(dialog, IDC_QUICK_LOG))
        QuickEntry.flags |= FE_LOG_OUTPUT;
    // Only the quick finger dialog has the long-output box.
    if (GetDlgItem(dialog, IDC_QUICK_LONG_OUTPUT) && IsChecked(dialog, IDC_QUICK_LONG_OUTPUT))
        QuickEntry.flags |= FE_LONG_OUTPUT;
    GetDlgItemTextA(dialog, IDC_QUICK_ADDRESS, QuickEntry.address, ADDRESS_SIZE);
}

void OnQuickButton(HWND dialog, int id)
{
    switch (id) {
    case IDC_QUICK_LOG:
        OnLogBoxClicked(dialog);
        break;
    case IDC_QUICK_OK:
        StoreQuickEntry(dialog);
        EndDialog(dialog, 0);
        break;
    case IDC_QUICK_CANCEL:
        EndDialog(dialog, -1);
        break;
    }
}

// Escape sends the standard cancel command, which is not handled: only Cancel
// and the close box leave without a query.
INT_PTR CALLBACK QuickProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(dialog, IDC_QUICK_ADDRESS, EM_LIMITTEXT, ADDRESS_SIZE - 1, 0);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnQuickButton(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return TRUE;
    }
    return FALSE;
}

// Only a queued job ever frees a temporary entry, so one the queue refuses
// (closing, loading entries or killing jobs) is freed here at once.
void QueueQuickEntry(uint32_t jobType)
{
    QuickEntry.flags |= FE_TEMPORARY;
    FingerEntry* entry = AllocateFingerEntry(QuickEntry);
    if (entry && AddJob(jobType, entry) != 0)
        FreeFingerEntry(entry);
}

void RunQuickCommand(HWND owner, bool& open, int dialogId, uint32_t jobType)
{
    if (open)
        return;
    open = true;
    if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(dialogId), owner, QuickProcedure, 0) == 0)
        QueueQuickEntry(jobType);
    open = false;
}

}

void QuickFinger(HWND owner)
{
    RunQuickCommand(owner, quickFingerOpen, IDD_QUICK_FINGER, JOB_FINGER);
}

void QuickWhois(HWND owner)
{
    RunQuickCommand(owner, quickWhoisOpen, IDD_QUICK_WHOIS, JOB_WHOIS);
}
