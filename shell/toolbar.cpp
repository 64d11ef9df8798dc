#include "shell/toolbar.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>

#include "entries/message_box.h"
#include "entries/settings.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"

int ToolbarHeight;

namespace {

constexpr int StandardImage(int image) { return STANDARD_STRIP_BASE + image; }
constexpr int ViewImage(int image) { return VIEW_STRIP_BASE + image; }
constexpr int OwnImage(int image) { return OWN_STRIP_BASE + image; }

// Version 4.70 of the common controls brought flat toolbar buttons.
constexpr DWORD FLAT_TOOLBAR_VERSION = 0x00040046;
// The bottom of the first button plus this margin is the toolbar's height.
constexpr int TOOLBAR_BOTTOM_MARGIN = 5;

}

const ToolbarButtonEntry ToolbarButtonTable[TOOLBAR_TABLE_SIZE] = {
    {0, 0, BTNS_SEP, "Separator"},
    {StandardImage(STD_FILENEW), IDM_NEW_ENTRY, BTNS_BUTTON, "New finger entry"},
    {StandardImage(STD_FILEOPEN), IDM_LOAD_ENTRIES, BTNS_BUTTON, "Load finger entries"},
    {StandardImage(STD_FILESAVE), IDM_SAVE_ENTRIES, BTNS_BUTTON, "Save finger entries"},
    {StandardImage(STD_DELETE), IDM_DELETE, BTNS_BUTTON, "Delete entry"},
    {StandardImage(STD_PROPERTIES), IDM_PROPERTIES, BTNS_BUTTON, "Finger properties"},
    {StandardImage(STD_PRINT), IDM_OUTPUT_PRINT, BTNS_BUTTON, "Print Output"},
    {ViewImage(VIEW_LARGEICONS), IDM_VIEW_LARGE_ICONS, BTNS_BUTTON, "Large Icons"},
    {ViewImage(VIEW_SMALLICONS), IDM_VIEW_SMALL_ICONS, BTNS_BUTTON, "Small Icons"},
    {ViewImage(VIEW_LIST), IDM_VIEW_LIST, BTNS_BUTTON, "List"},
    {ViewImage(VIEW_DETAILS), IDM_VIEW_DETAILS, BTNS_BUTTON, "Details"},
    {OwnImage(0), IDM_FINGER, BTNS_BUTTON, "Finger"},
    {OwnImage(1), IDM_QUICK_FINGER, BTNS_BUTTON, "Quick Finger"},
    {OwnImage(2), IDM_FINGER_MAIL, BTNS_BUTTON, Settings.groupNames[0]},
    {OwnImage(3), IDM_FINGER_STATUS, BTNS_BUTTON, Settings.groupNames[1]},
    {OwnImage(4), IDM_FINGER_GROUP1, BTNS_BUTTON, Settings.groupNames[2]},
    {OwnImage(5), IDM_FINGER_GROUP2, BTNS_BUTTON, Settings.groupNames[3]},
    {OwnImage(6), IDM_FINGER_GROUP3, BTNS_BUTTON, Settings.groupNames[4]},
    {OwnImage(7), IDM_OPTIONS, BTNS_BUTTON, "Ombrelane Options"},
    {OwnImage(8), IDM_WINSOCK_INFO, BTNS_BUTTON, "Winsock Information"},
    {OwnImage(9), IDM_KILL_JOBS, BTNS_BUTTON, "Kill All Jobs"},
    {OwnImage(10), IDM_PAUSE_JOBS, BTNS_BUTTON, "Pause Jobs"},
    {OwnImage(11), IDM_HELP, BTNS_BUTTON, "Help"},
    {OwnImage(12), IDM_WHOIS, BTNS_BUTTON, "Whois"},
    {OwnImage(13), IDM_VIEW_JOBS, BTNS_BUTTON, "View Jobs"},
    {OwnImage(14), IDM_OUTPUT_CLEAR, BTNS_BUTTON, "Clear Output"},
    {OwnImage(15), IDM_CTX_JUMP_TO_OUTPUT, BTNS_BUTTON, "Jump To Last Output"},
};

const int DefaultToolbarLayout[DEFAULT_TOOLBAR_SIZE] = {
    1, 2, 3, 0, 4, 5, 0, 6, 0, 7, 8, 9, 10, 26, 0, 11, 12, 13, 14, 0, 18, 19, 20, 21, 0, 22,
};

namespace {

TBBUTTON MakeToolbarButton(int tableIndex)
{
    const ToolbarButtonEntry& entry = ToolbarButtonTable[tableIndex];
    TBBUTTON button = {};
    button.iBitmap = entry.image;
    button.idCommand = entry.commandId;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = entry.style;
    return button;
}

void AddToolbarButton(HWND toolbar, int tableIndex)
{
    TBBUTTON button = MakeToolbarButton(tableIndex);
    SendMessageA(toolbar, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&button));
}

void RemoveAllButtons(HWND toolbar)
{
    for (int index = static_cast<int>(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0)) - 1; index >= 0; --index)
        SendMessageA(toolbar, TB_DELETEBUTTON, index, 0);
}

void AddDefaultLayout(HWND toolbar)
{
    for (int tableIndex : DefaultToolbarLayout)
        AddToolbarButton(toolbar, tableIndex);
}

// The table index of the entry with that command id, or -1.
int FindTableEntry(UINT_PTR commandId)
{
    for (int index = 0; index < TOOLBAR_TABLE_SIZE; ++index)
        if (static_cast<UINT_PTR>(ToolbarButtonTable[index].commandId) == commandId)
            return index;
    return -1;
}

void AddImageStrip(HWND toolbar, HINSTANCE instance, UINT_PTR bitmapId, int images)
{
    TBADDBITMAP bitmap = {instance, bitmapId};
    SendMessageA(toolbar, TB_ADDBITMAP, images, reinterpret_cast<LPARAM>(&bitmap));
}

// The height of the toolbar's button row plus the margin. With no button to
// measure, the height a button would have is taken.
int MeasureToolbarHeight(HWND toolbar)
{
    RECT first = {};
    if (!SendMessageA(toolbar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first))) {
        TBBUTTON probe = MakeToolbarButton(1);
        SendMessageA(toolbar, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&probe));
        SendMessageA(toolbar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
        SendMessageA(toolbar, TB_DELETEBUTTON, 0, 0);
    }
    return first.bottom + TOOLBAR_BOTTOM_MARGIN;
}

}

DWORD ComCtlVersion(const char* libraryName)
{
    HMODULE library = LoadLibraryA(libraryName);
    if (!library)
        return 0;
    DWORD version = 0;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(GetProcAddress(library, "DllGetVersion"));
    if (getVersion) {
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof info;
        if (SUCCEEDED(getVersion(&info)))
            version = (info.dwMajorVersion << 16) + (info.dwMinorVersion & 0xFFFF);
    }
    FreeLibrary(library);
    return version;
}

DWORD MainToolbarStyle(DWORD comctlVersion)
{
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_TOOLTIPS | CCS_ADJUSTABLE | CCS_TOP;
    if (comctlVersion >= FLAT_TOOLBAR_VERSION)
        style |= TBSTYLE_FLAT;
    return style;
}

HWND CreateMainToolbar(HWND mainWindow)
{
    const DWORD style = MainToolbarStyle(ComCtlVersion("comctl32.dll"));
    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, style, 0, 0, 0, 0, mainWindow, nullptr,
                                   ShellHandles.instance, nullptr);
    if (!toolbar)
        return nullptr;
    ShellHandles.toolbar = toolbar;
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    AddImageStrip(toolbar, HINST_COMMCTRL, IDB_STD_SMALL_COLOR, VIEW_STRIP_BASE - STANDARD_STRIP_BASE);
    AddImageStrip(toolbar, HINST_COMMCTRL, IDB_VIEW_SMALL_COLOR, OWN_STRIP_BASE - VIEW_STRIP_BASE);
    AddImageStrip(toolbar, ShellHandles.instance, IDB_TOOLBAR, OWN_STRIP_IMAGES);
    LoadToolbarButtons(toolbar);
    ToolbarHeight = MeasureToolbarHeight(toolbar);
    ShowWindow(toolbar, SW_SHOW);
    return toolbar;
}

void LoadToolbarButtons(HWND toolbar)
{
    RemoveAllButtons(toolbar);
    if (Settings.toolbarCount == -1) {
        AddDefaultLayout(toolbar);
        return;
    }
    const int count = std::min<int>(Settings.toolbarCount, TOOLBAR_MAX);
    for (int position = 0; position < count; ++position) {
        const int tableIndex = FindTableEntry(static_cast<UINT_PTR>(Settings.SavedToolbarLayout[position]));
        if (tableIndex < 0) {
            ShowMessageBox("Ombrelane has found unrecognised toolbar buttons in the registry.\n"
                           "It will reset them to the default ones. This is probably due to\n"
                           "running pre-release versions of Ombrelane, followed by the release\n"
                           "versions. Nothing to worry about!",
                           "Unknown Toolbar Buttons Found");
            ResetToolbarButtons(toolbar);
            return;
        }
        AddToolbarButton(toolbar, tableIndex);
    }
}

void ResetToolbarButtons(HWND toolbar)
{
    RemoveAllButtons(toolbar);
    AddDefaultLayout(toolbar);
}

void SaveToolbarButtons()
{
    HWND toolbar = ShellHandles.toolbar;
    if (!toolbar || !IsWindow(toolbar))
        return;
    const int count = std::min<int>(static_cast<int>(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0)), TOOLBAR_MAX);
    Settings.toolbarCount = count;
    for (int index = 0; index < count; ++index) {
        TBBUTTON button = {};
        SendMessageA(toolbar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button));
        Settings.SavedToolbarLayout[index] = button.idCommand;
    }
}

void CustomizeToolbar()
{
    if (ShellHandles.toolbar)
        SendMessageA(ShellHandles.toolbar, TB_CUSTOMIZE, 0, 0);
}

BOOL GetToolbarButtonInfo(NMTOOLBARA* info)
{
    if (info->iItem < 0 || info->iItem >= TOOLBAR_TABLE_SIZE)
        return FALSE;
    info->tbButton = MakeToolbarButton(info->iItem);
    if (info->pszText && info->cchText > 0)
        snprintf(info->pszText, static_cast<size_t>(info->cchText), "%s", ToolbarButtonTable[info->iItem].text);
    return TRUE;
}

void GetToolbarTooltip(char* text, int size, UINT_PTR commandId)
{
    if (!text || size <= 0)
        return;
    const int tableIndex = FindTableEntry(commandId);
    snprintf(text, static_cast<size_t>(size), "%s",
             tableIndex < 0 ? "Unknown button id" : ToolbarButtonTable[tableIndex].text);
}

bool OnToolbarNotify(NMHDR* header, LRESULT* result)
{
    switch (header->code) {
    case TBN_TOOLBARCHANGE:
    case TBN_QUERYDELETE:
    case TBN_QUERYINSERT:
        *result = TRUE;
        return true;
    case TBN_RESET:
        ResetToolbarButtons(ShellHandles.toolbar);
        *result = TRUE;
        return true;
    case TBN_GETBUTTONINFOA:
        *result = GetToolbarButtonInfo(reinterpret_cast<NMTOOLBARA*>(header));
        return true;
    case TTN_NEEDTEXTA: {
        auto* tip = reinterpret_cast<NMTTDISPINFOA*>(header);
        GetToolbarTooltip(tip->szText, sizeof tip->szText, header->idFrom);
        tip->lpszText = tip->szText;
        *result = 0;
        return true;
    }
    default:
        return false;
    }
}
