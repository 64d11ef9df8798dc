#include "ui/entry_dialog.h"

#include <commdlg.h>
#include <richedit.h>
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "entries/message_box.h"
#include "entries/settings.h"
#include "jobs/job_events.h"
#include "jobs/scheduling.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "ui/group_dialog.h"

namespace {

// The dialogs are modal and the options dialog opens only from the entry
// dialog, so one set of state serves both.
struct EntryDialogState {
    // Set while the entry dialog runs. Its record lives in the caller's frame,
    // so a second call meanwhile (the tray menu still works while the dialog
    // is up) must not take the state over.
    bool open;
    FingerEntry* entry;
    const char* title;
    int result;
    // The font being chosen: only its colour, points and font are used.
    FingerEntry workingFont;
    char workingIconFile[PATH_SIZE];
};

EntryDialogState state;

constexpr const char* PERIOD_NAMES[] = {"Minutes", "Hours", "Days", "Weeks"};

// The option boxes that stand for one flag each; automatic fingering also
// drives the schedule and is handled apart.
struct FlagBox {
    int id;
    uint32_t flag;
};

constexpr FlagBox FLAG_BOXES[] = {
    {IDC_ENTRY_OPT_NOTIFY, FE_NOTIFY_CHANGES},   {IDC_ENTRY_OPT_LOG, FE_LOG_OUTPUT},
    {IDC_ENTRY_OPT_ADD_TIME, FE_ADD_TIME},       {IDC_ENTRY_OPT_RECYCLE, FE_RECYCLE_OUTPUT},
    {IDC_ENTRY_OPT_FINGER_AT_START, FE_FINGER_AT_START},
};

constexpr char LOGGING_QUESTION[] =
    "Logging isn't currently enabled.\n\nWould you like to enable it now, so that\nthe logging for this finger "
    "entry will take\nplace immediately?";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void CheckBox(HWND dialog, int id, bool checked)
{
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void SetFlag(uint32_t& flags, uint32_t flag, bool on)
{
    flags = on ? flags | flag : flags & ~flag;
}

void FocusControl(HWND dialog, int id)
{
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

// The entry options dialog.

int HtmlButton(uint32_t flags)
{
    if (flags & FE_HTML_NEVER)
        return IDC_ENTRY_OPT_HTML_NEVER;
    if (flags & FE_HTML_ALWAYS)
        return IDC_ENTRY_OPT_HTML_ALWAYS;
    return IDC_ENTRY_OPT_HTML_DETECT;
}

void ShowPreview(HWND dialog)
{
    HWND sample = GetDlgItem(dialog, IDC_ENTRY_OPT_SAMPLE);
    SetWindowTextA(sample, "Sample");
    CHARFORMATA format;
    BuildCharFormat(format, &state.workingFont);
    SendMessageA(sample, EM_SETSEL, 0, -1);
    SendMessageA(sample, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

void EnableSchedule(HWND dialog)
{
    const BOOL on = Checked(dialog, IDC_ENTRY_OPT_AUTO_FINGER);
    EnableWindow(GetDlgItem(dialog, IDC_ENTRY_OPT_INTERVAL), on);
    EnableWindow(GetDlgItem(dialog, IDC_ENTRY_OPT_PERIOD), on);
}

void InitOptionsDialog(HWND dialog)
{
    const FingerEntry& entry = *state.entry;
    state.workingFont = entry;
    CheckBox(dialog, IDC_ENTRY_OPT_AUTO_FINGER, entry.flags & FE_AUTO_FINGER);
    for (const FlagBox& box : FLAG_BOXES)
        CheckBox(dialog, box.id, entry.flags & box.flag);
    SetDlgItemInt(dialog, IDC_ENTRY_OPT_INTERVAL, entry.interval, FALSE);
    SetDlgItemInt(dialog, IDC_ENTRY_OPT_ICON_INDEX, entry.iconIndex, FALSE);
    HWND periods = GetDlgItem(dialog, IDC_ENTRY_OPT_PERIOD);
    for (const char* name : PERIOD_NAMES)
        SendMessageA(periods, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendMessageA(periods, CB_SETCURSEL, entry.period, 0);
    CheckBox(dialog, HtmlButton(entry.flags), true);
    lstrcpynA(state.workingIconFile, entry.iconFile, sizeof state.workingIconFile);
    ShowPreview(dialog);
    EnableSchedule(dialog);
    SetWindowTextA(dialog, state.title);
}

// Checking Log output is pointless while the program logs nothing, so the
// user may switch logging on here.
void OnLogBoxClicked(HWND dialog)
{
    if ((Settings.options & OPT_LOGGING) || !Checked(dialog, IDC_ENTRY_OPT_LOG))
        return;
    const int answer = ShowMessageBox(LOGGING_QUESTION, "Logging Not Enabled", MB_YESNOCANCEL | MB_ICONINFORMATION);
    if (answer == IDYES)
        Settings.options |= OPT_LOGGING;
    else if (answer == IDCANCEL)
        CheckBox(dialog, IDC_ENTRY_OPT_LOG, false);
}

// The font dialog takes its starting size from the font description only,
// while the entry keeps its size in points.
LONG ScreenFontHeight(HWND window, uint32_t points)
{
    struct WindowDc {
        HWND window;
        HDC dc;
        ~WindowDc() { ReleaseDC(window, dc); }
    } screen{window, GetDC(window)};
    return -MulDiv(static_cast<int>(points), GetDeviceCaps(screen.dc, LOGPIXELSY), 720);
}

void ChooseSampleFont(HWND dialog)
{
    LOGFONTA font = state.workingFont.font;
    font.lfHeight = ScreenFontHeight(dialog, state.workingFont.points);
    CHOOSEFONTA choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = dialog;
    choice.lpLogFont = &font;
    choice.rgbColors = state.workingFont.colour;
    choice.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_FORCEFONTEXIST | CF_INITTOLOGFONTSTRUCT;
    if (!ChooseFontA(&choice))
        return;
    state.workingFont.colour = choice.rgbColors;
    state.workingFont.points = static_cast<uint32_t>(choice.iPointSize);
    state.workingFont.font = font;
    ShowPreview(dialog);
}

void SelectIconFile(HWND dialog)
{
    char path[PATH_SIZE];
    lstrcpynA(path, state.workingIconFile, sizeof path);
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = dialog;
    open.lpstrFilter = "Icon Files (*.ico)\0*.ico\0All Files (*.*)\0*.*\0";
    open.nFilterIndex = 1;
    open.lpstrFile = path;
    open.nMaxFile = sizeof path;
    open.lpstrTitle = "Select Entry Icon";
    open.lpstrDefExt = "ico";
    open.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN;
    if (GetOpenFileNameA(&open))
        lstrcpynA(state.workingIconFile, path, sizeof state.workingIconFile);
}

void UseDefaultIcon(HWND dialog)
{
    state.workingIconFile[0] = '\0';
    SetDlgItemInt(dialog, IDC_ENTRY_OPT_ICON_INDEX, 0, FALSE);
}

// Reads an unsigned number edit; false when it holds no number.
bool ReadNumber(HWND dialog, int id, uint32_t& value)
{
    BOOL isNumber = FALSE;
    const UINT number = GetDlgItemInt(dialog, id, &isNumber, FALSE);
    if (isNumber)
        value = number;
    return isNumber;
}

// A running schedule is restarted only when the user changed it, so that
// confirming the options does not put off a due finger.
void StoreSchedule(HWND dialog, FingerEntry& entry)
{
    const uint32_t oldInterval = entry.interval;
    bool changed = ReadNumber(dialog, IDC_ENTRY_OPT_INTERVAL, entry.interval) && entry.interval != oldInterval;
    const LRESULT period = SendDlgItemMessageA(dialog, IDC_ENTRY_OPT_PERIOD, CB_GETCURSEL, 0, 0);
    if (period != CB_ERR && static_cast<uint32_t>(period) != entry.period) {
        entry.period = static_cast<uint32_t>(period);
        changed = true;
    }
    if (!Checked(dialog, IDC_ENTRY_OPT_AUTO_FINGER)) {
        entry.flags &= ~static_cast<uint32_t>(FE_AUTO_FINGER);
        return;
    }
    if (!(entry.flags & FE_AUTO_FINGER) || changed)
        ScheduleNextFinger(&entry);
    entry.flags |= FE_AUTO_FINGER;
    if (entry.monitorFile[0] == '\0')
        AssignMonitorFileName(entry);
}

void StoreEntryOptions(HWND dialog)
{
    FingerEntry& entry = *state.entry;
    ReadNumber(dialog, IDC_ENTRY_OPT_ICON_INDEX, entry.iconIndex);
    lstrcpynA(entry.iconFile, state.workingIconFile, sizeof entry.iconFile);
    StoreSchedule(dialog, entry);
    for (const FlagBox& box : FLAG_BOXES)
        SetFlag(entry.flags, box.flag, Checked(dialog, box.id));
    entry.flags &= ~static_cast<uint32_t>(FE_HTML_ALWAYS | FE_HTML_NEVER);
    if (Checked(dialog, IDC_ENTRY_OPT_HTML_ALWAYS))
        entry.flags |= FE_HTML_ALWAYS;
    else if (Checked(dialog, IDC_ENTRY_OPT_HTML_NEVER))
        entry.flags |= FE_HTML_NEVER;
    entry.colour = state.workingFont.colour;
    entry.points = state.workingFont.points;
    entry.font = state.workingFont.font;
}

void OnOptionsButton(HWND dialog, int id)
{
    switch (id) {
    case IDC_ENTRY_OPT_AUTO_FINGER:
        EnableSchedule(dialog);
        break;
    case IDC_ENTRY_OPT_LOG:
        OnLogBoxClicked(dialog);
        break;
    case IDC_ENTRY_OPT_FONT_CHANGE:
        ChooseSampleFont(dialog);
        break;
    case IDC_ENTRY_OPT_ICON_SELECT:
        SelectIconFile(dialog);
        break;
    case IDC_ENTRY_OPT_ICON_DEFAULT:
        UseDefaultIcon(dialog);
        break;
    case IDC_ENTRY_OPT_OK:
        StoreEntryOptions(dialog);
        EndDialog(dialog, 0);
        break;
    case IDC_ENTRY_OPT_CANCEL:
        EndDialog(dialog, 0);
        break;
    }
}

// Escape sends the standard cancel command, which neither entry dialog
// handles: a stray key must not throw away what was typed. The close box
// still leaves without storing.
INT_PTR CALLBACK EntryOptionsProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitOptionsDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnOptionsButton(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

// The entry dialog.

void InitEntryDialog(HWND dialog)
{
    SetWindowTextA(dialog, state.title);
    SetDlgItemTextA(dialog, IDC_ENTRY_DESCRIPTION, state.entry->description);
    SetDlgItemTextA(dialog, IDC_ENTRY_ADDRESS, state.entry->address);
    CheckBox(dialog, IDC_ENTRY_LONG_OUTPUT, state.entry->flags & FE_LONG_OUTPUT);
    SendDlgItemMessageA(dialog, IDC_ENTRY_DESCRIPTION, EM_LIMITTEXT, DESCRIPTION_SIZE - 1, 0);
    SendDlgItemMessageA(dialog, IDC_ENTRY_ADDRESS, EM_LIMITTEXT, ADDRESS_SIZE - 1, 0);
}

// An edit that holds nothing but blanks is refused with a box, and the focus
// goes to it for the user to fill it in.
bool FieldMissing(HWND dialog, int id, const char* text, const char* title)
{
    char typed[DESCRIPTION_SIZE];
    char trimmed[DESCRIPTION_SIZE];
    GetDlgItemTextA(dialog, id, typed, sizeof typed);
    if (TrimBlanks(trimmed, sizeof trimmed, typed, TRIM_LEADING | TRIM_TRAILING) > 0)
        return false;
    ShowMessageBox(text, title, MB_OK | MB_ICONEXCLAMATION);
    FocusControl(dialog, id);
    return true;
}

// The address is kept exactly as typed: blanks may matter to the server.
void ConfirmEntryDialog(HWND dialog)
{
    if (FieldMissing(dialog, IDC_ENTRY_ADDRESS, "You must supply an address to finger.", "Missing Finger Address") ||
        FieldMissing(dialog, IDC_ENTRY_DESCRIPTION, "You must supply a description for this finger entry.",
                     "Missing Finger Description"))
        return;
    FingerEntry& entry = *state.entry;
    char typed[DESCRIPTION_SIZE];
    GetDlgItemTextA(dialog, IDC_ENTRY_DESCRIPTION, typed, sizeof typed);
    TrimBlanks(entry.description, sizeof entry.description, typed, TRIM_LEADING | TRIM_TRAILING);
    GetDlgItemTextA(dialog, IDC_ENTRY_ADDRESS, entry.address, sizeof entry.address);
    SetFlag(entry.flags, FE_LONG_OUTPUT, Checked(dialog, IDC_ENTRY_LONG_OUTPUT));
    state.result = 0;
    EndDialog(dialog, 0);
}

void OnEntryButton(HWND dialog, int id)
{
    switch (id) {
    case IDC_ENTRY_OK:
        ConfirmEntryDialog(dialog);
        break;
    case IDC_ENTRY_CANCEL:
        EndDialog(dialog, 0);
        break;
    case IDC_ENTRY_OPTIONS:
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ENTRY_OPTIONS), dialog, EntryOptionsProcedure,
                        0);
        break;
    case IDC_ENTRY_ASSIGN_GROUPS:
        AssignGroups(dialog, state.entry, 1, true);
        break;
    }
}

INT_PTR CALLBACK EntryDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitEntryDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnEntryButton(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}

int EditFingerEntry(FingerEntry& entry, HWND owner, const char* title)
{
    if (state.open)
        return -1;
    HWND focus = GetFocus();
    state.open = true;
    state.entry = &entry;
    state.title = title;
    state.result = -1;
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ENTRY), owner, EntryDialogProcedure, 0);
    state.open = false;
    // The dialog may have started or changed a schedule that is due already.
    FingerDueEntries();
    ReportStatusDirty();
    if (IsWindow(focus))
        SetFocus(focus);
    return state.result;
}

int TrimBlanks(char* destination, int size, const char* source, int mode)
{
    if (size <= 0)
        return 0;
    const char* begin = source;
    const char* end = source + strlen(source);
    if (mode & TRIM_LEADING) {
        while (begin < end && IsBlank(*begin))
            ++begin;
    }
    if (mode & TRIM_TRAILING) {
        while (end > begin && IsBlank(end[-1]))
            --end;
    }
    const int length = static_cast<int>(std::min<ptrdiff_t>(end - begin, size - 1));
    // The source may be the destination itself.
    memmove(destination, begin, static_cast<size_t>(length));
    destination[length] = '\0';
    return length;
}
