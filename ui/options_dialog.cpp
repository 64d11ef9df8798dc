#include "ui/options_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <cstdio>

#include "entries/message_box.h"
#include "entries/settings.h"
#include "resources/resource.h"

namespace {

struct OptionsDialogState {
    // The re-entry marks: the tray menu's Options works while a dialog is up.
    bool optionsOpen;
    bool advancedOpen;
    bool splitChanged;
};

OptionsDialogState state;

constexpr char SHORTCUT_NAME[] = "\\Ombrelane.lnk";
constexpr int MAX_DISPLAY_SPLIT = 9;
constexpr int KILOBYTE = 1024;
// The digits of the largest network time limit.
constexpr int TIMEOUT_DIGITS = 4;
constexpr int FETCH_LIMIT_DIGITS = 2;

// The option boxes that stand for one bit each, in the order OK stores them.
// Starting with Windows comes last and apart: its shortcut needs the
// start-minimised bit already stored.
struct OptionBox {
    int id;
    uint32_t bit;
};

constexpr OptionBox OPTION_BOXES[] = {
    {IDC_OPT_HIDE_WHEN_MINIMISED, OPT_HIDE_WHEN_MINIMISED},
    {IDC_OPT_REMEMBER_POSITION, OPT_REMEMBER_POSITION},
    {IDC_OPT_LOGGING, OPT_LOGGING},
    {IDC_OPT_CLEAR_LOG, OPT_CLEAR_LOG_AT_START},
    {IDC_OPT_START_MINIMISED, OPT_START_MINIMISED},
    {IDC_OPT_AUTO_HTML, OPT_AUTO_HTML},
};

// A COM interface pointer, released when it goes out of scope.
template <typename Interface>
struct ComReference {
    Interface* pointer = nullptr;

    ComReference() = default;
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;
    ~ComReference()
    {
        if (pointer)
            pointer->Release();
    }
    void** Out() { return reinterpret_cast<void**>(&pointer); }
};

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void CheckBox(HWND dialog, int id, bool checked)
{
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void SetOption(uint32_t bit, bool on)
{
    Settings.options = on ? Settings.options | bit : Settings.options & ~bit;
}

void EnableControl(HWND dialog, int id, bool enabled)
{
    EnableWindow(GetDlgItem(dialog, id), enabled);
}

// Reads an unsigned number edit; false when it holds no number.
bool ReadNumber(HWND dialog, int id, uint32_t& value)
{
    BOOL isNumber = FALSE;
    value = GetDlgItemInt(dialog, id, &isNumber, FALSE);
    return isNumber != FALSE;
}

// Without a Startup folder the link path would name the root of the current
// drive; a folder too long for the name is no place for the shortcut either.
bool StartupShortcutPath(char (&path)[PATH_SIZE])
{
    if (Settings.startupFolder[0] == '\0')
        return false;
    const int length = snprintf(path, sizeof path, "%s%s", Settings.startupFolder, SHORTCUT_NAME);
    return length > 0 && length < PATH_SIZE;
}

// Shows a refusal of the advanced dialog, with the limits filled in.
void RefuseField(const char* format, uint32_t low, uint32_t high, const char* title)
{
    char text[128];
    snprintf(text, sizeof text, format, low, high);
    ShowMessageBox(text, title, MB_OK | MB_ICONEXCLAMATION);
}

// The options dialog.

void EnableOptionControls(HWND dialog)
{
    EnableControl(dialog, IDC_OPT_START_MINIMISED, Checked(dialog, IDC_OPT_START_WITH_WINDOWS));
    const bool logging = Checked(dialog, IDC_OPT_LOGGING);
    EnableControl(dialog, IDC_OPT_LOG_FILE, logging);
    EnableControl(dialog, IDC_OPT_LOG_BROWSE, logging);
}

// The path edits take no more than their setting holds, so that nothing
// typed is cut off when it is stored.
void InitOptionsDialog(HWND dialog)
{
    SendDlgItemMessageA(dialog, IDC_OPT_LOG_FILE, EM_LIMITTEXT, PATH_SIZE - 1, 0);
    HWND split = GetDlgItem(dialog, IDC_OPT_DISPLAY_SPLIT);
    SendMessageA(split, TBM_SETRANGE, TRUE, MAKELPARAM(0, MAX_DISPLAY_SPLIT));
    SendMessageA(split, TBM_SETPOS, TRUE, Settings.DisplaySplit);
    CheckBox(dialog, IDC_OPT_START_WITH_WINDOWS, Settings.options & OPT_START_WITH_WINDOWS);
    for (const OptionBox& box : OPTION_BOXES)
        CheckBox(dialog, box.id, Settings.options & box.bit);
    SetDlgItemTextA(dialog, IDC_OPT_LOG_FILE, Settings.logFile);
    EnableOptionControls(dialog);
}

void OnOptionsButton(HWND dialog, int id)
{
    switch (id) {
    case IDC_OPT_START_WITH_WINDOWS:
    case IDC_OPT_LOGGING:
        EnableOptionControls(dialog);
        break;
    case IDC_OPT_LOG_BROWSE:
        BrowseLogFile(dialog);
        SetDlgItemTextA(dialog, IDC_OPT_LOG_FILE, Settings.logFile);
        break;
    case IDC_OPT_ADVANCED:
        AdvancedOptionsDialog(dialog);
        break;
    case IDC_OPT_OK:
        state.splitChanged = ApplyOptions(dialog);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        break;
    case IDC_OPT_CANCEL:
        PostMessageA(dialog, WM_CLOSE, 0, -1);
        break;
    }
}

// Both dialogs end on WM_CLOSE with the result it carries. The close box
// sends it carrying 0, the result of OK, so it is turned into a cancel first.
// Escape sends the standard cancel command, which neither dialog handles.
INT_PTR CloseOrCancel(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        EndDialog(dialog, lParam);
        return TRUE;
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        PostMessageA(dialog, WM_CLOSE, 0, -1);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK OptionsProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitOptionsDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnOptionsButton(dialog, LOWORD(wParam));
        return TRUE;
    }
    return CloseOrCancel(dialog, message, wParam, lParam);
}

// The advanced options dialog.

void EnableBrowserControls(HWND dialog)
{
    const bool userBrowser = !Checked(dialog, IDC_ADV_DEFAULT_BROWSER);
    EnableControl(dialog, IDC_ADV_BROWSER_PATH, userBrowser);
    EnableControl(dialog, IDC_ADV_BROWSER_BROWSE, userBrowser);
}

// The size shown is the one in effect, not one pending for the next start.
void InitAdvancedDialog(HWND dialog)
{
    SendDlgItemMessageA(dialog, IDC_ADV_WHOIS_SERVER, EM_LIMITTEXT, WHOIS_HOST_SIZE - 1, 0);
    SendDlgItemMessageA(dialog, IDC_ADV_BROWSER_PATH, EM_LIMITTEXT, PATH_SIZE - 1, 0);
    SendDlgItemMessageA(dialog, IDC_ADV_NETWORK_TIMEOUT, EM_LIMITTEXT, TIMEOUT_DIGITS, 0);
    SendDlgItemMessageA(dialog, IDC_ADV_FETCH_LIMIT, EM_LIMITTEXT, FETCH_LIMIT_DIGITS, 0);
    SetDlgItemInt(dialog, IDC_ADV_BUFFER_SIZE, Settings.maxAllocSize / KILOBYTE, FALSE);
    SetDlgItemInt(dialog, IDC_ADV_NETWORK_TIMEOUT, Settings.networkTimeout, FALSE);
    SetDlgItemInt(dialog, IDC_ADV_FETCH_LIMIT, Settings.fetchLimit, FALSE);
    CheckBox(dialog, IDC_ADV_FOLLOW_REFERRALS, Settings.followReferrals);
    CheckBox(dialog, IDC_ADV_SIMULATE_NETWORK, !(Settings.options & OPT_NETWORK));
    SetDlgItemTextA(dialog, IDC_ADV_WHOIS_SERVER, Settings.whoisServer);
    const bool userBrowser = Settings.options & OPT_USER_BROWSER;
    CheckRadioButton(dialog, IDC_ADV_DEFAULT_BROWSER, IDC_ADV_USER_BROWSER,
                     userBrowser ? IDC_ADV_USER_BROWSER : IDC_ADV_DEFAULT_BROWSER);
    SetDlgItemTextA(dialog, IDC_ADV_BROWSER_PATH, Settings.userBrowser);
    EnableBrowserControls(dialog);
}

void OnAdvancedButton(HWND dialog, int id)
{
    switch (id) {
    case IDC_ADV_DEFAULT_BROWSER:
    case IDC_ADV_USER_BROWSER:
        EnableBrowserControls(dialog);
        break;
    case IDC_ADV_BROWSER_BROWSE:
        BrowseBrowserProgram(dialog);
        break;
    case IDC_ADV_OK:
        if (ApplyAdvancedOptions(dialog) == 1)
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        break;
    case IDC_ADV_CANCEL:
        PostMessageA(dialog, WM_CLOSE, 0, -1);
        break;
    }
}

INT_PTR CALLBACK AdvancedProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitAdvancedDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnAdvancedButton(dialog, LOWORD(wParam));
        return TRUE;
    }
    return CloseOrCancel(dialog, message, wParam, lParam);
}

// The open-file dialog of a Browse button. It starts from path, which
// receives the choice; 0 after OK, 1 after cancel.
int ChooseFile(HWND owner, const char* filter, const char* title, const char* extension, char (&path)[PATH_SIZE])
{
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = owner;
    open.lpstrFilter = filter;
    open.nFilterIndex = 1;
    open.lpstrFile = path;
    open.nMaxFile = sizeof path;
    open.lpstrTitle = title;
    open.lpstrDefExt = extension;
    open.Flags = OFN_EXPLORER | OFN_NOREADONLYRETURN | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&open) ? 0 : 1;
}

}

int OptionsDialog(HWND mainWindow, bool& splitChanged)
{
    splitChanged = false;
    if (state.optionsOpen)
        return 1;
    state.optionsOpen = true;
    state.splitChanged = false;
    HWND focus = GetFocus();
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS), mainWindow, OptionsProcedure, 0);
    if (IsWindow(focus))
        SetFocus(focus);
    state.optionsOpen = false;
    splitChanged = state.splitChanged;
    return static_cast<int>(result);
}

int AdvancedOptionsDialog(HWND optionsDialog)
{
    if (state.advancedOpen)
        return 1;
    state.advancedOpen = true;
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ADVANCED_OPTIONS),
                                           optionsDialog, AdvancedProcedure, 0);
    state.advancedOpen = false;
    return static_cast<int>(result);
}

// The shortcut is made again on every OK, so that it follows a changed
// start-minimised choice and replaces one the user deleted.
bool ApplyOptions(HWND optionsDialog)
{
    const int32_t oldSplit = Settings.DisplaySplit;
    Settings.DisplaySplit =
        static_cast<int32_t>(SendDlgItemMessageA(optionsDialog, IDC_OPT_DISPLAY_SPLIT, TBM_GETPOS, 0, 0));
    GetDlgItemTextA(optionsDialog, IDC_OPT_LOG_FILE, Settings.logFile, sizeof Settings.logFile);
    for (const OptionBox& box : OPTION_BOXES)
        SetOption(box.bit, Checked(optionsDialog, box.id));
    const bool startWithWindows = Checked(optionsDialog, IDC_OPT_START_WITH_WINDOWS);
    SetOption(OPT_START_WITH_WINDOWS, startWithWindows);
    if (startWithWindows)
        CreateStartupShortcut();
    else
        DeleteStartupShortcut();
    return Settings.DisplaySplit != oldSplit;
}

// The network time limit is checked before the buffer size, whose last step
// closes the dialog: a refused limit keeps it open without having announced
// a new buffer size, and a refused size keeps the limit already stored.
int ApplyAdvancedOptions(HWND dialog)
{
    if (GetDlgItemTextA(dialog, IDC_ADV_WHOIS_SERVER, Settings.whoisServer, sizeof Settings.whoisServer) == 0)
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "%s", DEFAULT_WHOIS_SERVER);
    SetOption(OPT_NETWORK, !Checked(dialog, IDC_ADV_SIMULATE_NETWORK));
    GetDlgItemTextA(dialog, IDC_ADV_BROWSER_PATH, Settings.userBrowser, sizeof Settings.userBrowser);
    if (!Checked(dialog, IDC_ADV_DEFAULT_BROWSER)) {
        if (Settings.userBrowser[0] == '\0') {
            ShowMessageBox("Please enter the location of a valid browser program.", "Invalid User Browser",
                           MB_OK | MB_ICONEXCLAMATION);
            return 0;
        }
        Settings.options |= OPT_USER_BROWSER;
    } else {
        Settings.options &= ~static_cast<uint32_t>(OPT_USER_BROWSER);
    }
    uint32_t seconds = 0;
    if (!ReadNumber(dialog, IDC_ADV_NETWORK_TIMEOUT, seconds) || seconds < MIN_NETWORK_TIMEOUT ||
        seconds > MAX_NETWORK_TIMEOUT) {
        RefuseField("Please enter a network time limit between %u and %u seconds.", MIN_NETWORK_TIMEOUT,
                    MAX_NETWORK_TIMEOUT, "Invalid Network Time Limit");
        return 0;
    }
    Settings.networkTimeout = seconds;
    uint32_t fetches = 0;
    if (!ReadNumber(dialog, IDC_ADV_FETCH_LIMIT, fetches) || fetches < MIN_FETCH_LIMIT || fetches > MAX_FETCH_LIMIT) {
        RefuseField("Please enter a number of answers to fetch at once between %u and %u.", MIN_FETCH_LIMIT,
                    MAX_FETCH_LIMIT, "Invalid Number of Answers");
        return 0;
    }
    Settings.fetchLimit = fetches;
    Settings.followReferrals = Checked(dialog, IDC_ADV_FOLLOW_REFERRALS);
    constexpr uint32_t lowest = MIN_ALLOC_SIZE / KILOBYTE;
    constexpr uint32_t highest = MAX_ALLOC_SIZE / KILOBYTE;
    uint32_t kilobytes = 0;
    if (!ReadNumber(dialog, IDC_ADV_BUFFER_SIZE, kilobytes)) {
        RefuseField("Please enter a valid number between %u and %u.", lowest, highest, "Invalid Number");
        return 0;
    }
    if (kilobytes < lowest || kilobytes > highest) {
        RefuseField("Please enter an amount of memory between %u and %u KBytes.", lowest, highest,
                    "Incorrect Memory Allocation Amount");
        return 0;
    }
    if (Settings.maxAllocSizeSaved == kilobytes * KILOBYTE)
        return 1;
    Settings.maxAllocSizeSaved = kilobytes * KILOBYTE;
    ShowMessageBox("The changes to allocated memory will take effect after\nOmbrelane is next started.",
                   "Changes to Memory Allocation", MB_OK | MB_ICONINFORMATION);
    return 1;
}

void CreateStartupShortcut()
{
    char link[PATH_SIZE];
    if (!StartupShortcutPath(link))
        return;
    char executable[PATH_SIZE];
    const DWORD length = GetModuleFileNameA(nullptr, executable, sizeof executable);
    if (length == 0 || length >= sizeof executable)
        return;
    CreateShellLink(executable, link, "Ombrelane auto start");
}

void DeleteStartupShortcut()
{
    char link[PATH_SIZE];
    if (StartupShortcutPath(link))
        DeleteFileA(link);
}

HRESULT CreateShellLink(const char* executable, const char* linkPath, const char* description)
{
    ComReference<IShellLinkA> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out());
    if (FAILED(result))
        return result;
    link.pointer->SetPath(executable);
    link.pointer->SetDescription(description);
    if (Settings.options & OPT_START_MINIMISED)
        link.pointer->SetShowCmd(SW_SHOWMINNOACTIVE);
    ComReference<IPersistFile> file;
    result = link.pointer->QueryInterface(IID_IPersistFile, file.Out());
    if (FAILED(result))
        return result;
    WCHAR widePath[PATH_SIZE];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, PATH_SIZE) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    return file.pointer->Save(widePath, TRUE);
}

int BrowseLogFile(HWND optionsDialog)
{
    char path[PATH_SIZE];
    lstrcpynA(path, Settings.logFile, sizeof path);
    if (ChooseFile(optionsDialog, "Plain Text (*.txt)\0*.txt\0All Files (*.*)\0*.*\0", "Select Log Location", "txt",
                   path) != 0)
        return 1;
    lstrcpynA(Settings.logFile, path, sizeof Settings.logFile);
    return 0;
}

int BrowseBrowserProgram(HWND advancedDialog)
{
    char path[PATH_SIZE];
    lstrcpynA(path, Settings.userBrowser, sizeof path);
    if (ChooseFile(advancedDialog, "Executable Files (*.exe)\0*.exe\0All Files (*.*)\0*.*\0",
                   "Select Browser Program", "exe", path) != 0)
        return 1;
    SetDlgItemTextA(advancedDialog, IDC_ADV_BROWSER_PATH, path);
    return 0;
}
