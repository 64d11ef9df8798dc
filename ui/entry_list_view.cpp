#include "ui/entry_list_view.h"

#include <commctrl.h>
#include <shellapi.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <mutex>
#include <vector>

#include "entries/message_box.h"
#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "entries/shared_lock.h"

HWND EntryListView;
volatile LONG ResortRequested;

namespace {

constexpr int DISPLAY_TEXT_SIZE = 128;
constexpr int COLUMN_TITLE_SIZE = 260;

// The computed column texts handed to the control, which copies them at once.
char DisplayTextBuffer[DISPLAY_TEXT_SIZE];

// The two image lists, small first, and the size of their images.
constexpr int IMAGE_LISTS[2] = {LVSIL_SMALL, LVSIL_NORMAL};
constexpr int IMAGE_SIZES[2] = {16, 32};
// Each growth of an image list copies all its images, so the lists grow by
// many images at a time: thousands of rows added one by one then copy the
// images a few hundred times rather than thousands.
constexpr int IMAGE_GROWTH = 64;

HICON DefaultEntryIcon;
// The default icon as each image list draws it, made once and kept like
// the icon. Adding or placing this bitmap is far cheaper than drawing the
// icon again, which makes many rows with the default icon quick to add.
HBITMAP DefaultImages[2];

// The icons drawn so far while the list is filled, by icon file and index
// (an empty file is the default icon), with the image that holds each.
using DrawnIcons = std::map<std::pair<std::string, uint32_t>, int>;

HWND List()
{
    return EntryListView;
}

int RowCount()
{
    return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0));
}

int CurrentView()
{
    return static_cast<int>(GetWindowLongA(List(), GWL_STYLE) & LVS_TYPEMASK);
}

HIMAGELIST ImageList(int which)
{
    return reinterpret_cast<HIMAGELIST>(SendMessageA(List(), LVM_GETIMAGELIST, which, 0));
}

// The default icon drawn by an image list of the given size, as a bitmap
// that such a list takes with ImageList_Add; none when it cannot be made.
HBITMAP MakeDefaultImage(int size)
{
    HIMAGELIST drawing = ImageList_Create(size, size, ILC_COLOR, 1, 1);
    if (!drawing)
        return nullptr;
    HBITMAP image = nullptr;
    if (ImageList_ReplaceIcon(drawing, -1, DefaultEntryIcon) == 0) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        HDC dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        image = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
        if (image) {
            HGDIOBJ previous = SelectObject(dc, image);
            ImageList_Draw(drawing, 0, dc, 0, 0, ILD_NORMAL);
            SelectObject(dc, previous);
        }
        if (dc)
            DeleteDC(dc);
    }
    ImageList_Destroy(drawing);
    return image;
}

// The icon of the entry's own icon file, or none when it has none or the
// file holds no such icon (the row then shows the default icon).
HICON ExtractEntryIcon(const FingerEntry* entry)
{
    if (entry->iconFile[0] == '\0')
        return nullptr;
    HICON icon = ExtractIconA(GetModuleHandleA(nullptr), entry->iconFile, entry->iconIndex);
    if (reinterpret_cast<UINT_PTR>(icon) == 1)
        return nullptr;
    return icon;
}

// Puts the entry's icon into image `index` of both lists, or appends it to
// both for -1. The lists keep copies, so an extracted icon is destroyed.
void PutEntryIcon(const FingerEntry* entry, int index)
{
    HICON extracted = ExtractEntryIcon(entry);
    for (int which = 0; which < 2; ++which) {
        HIMAGELIST images = ImageList(IMAGE_LISTS[which]);
        if (extracted || !DefaultImages[which])
            ImageList_ReplaceIcon(images, index, extracted ? extracted : DefaultEntryIcon);
        else if (index < 0)
            ImageList_Add(images, DefaultImages[which], nullptr);
        else
            ImageList_Replace(images, index, DefaultImages[which], nullptr);
    }
    if (extracted)
        DestroyIcon(extracted);
}

// Makes both lists hold `count` images at once; on failure they are left
// empty.
bool ReserveImages(int count)
{
    for (int which : IMAGE_LISTS) {
        if (!ImageList_SetImageCount(ImageList(which), count)) {
            for (int other : IMAGE_LISTS)
                ImageList_Remove(ImageList(other), -1);
            return false;
        }
    }
    return true;
}

// Fills the reserved image `index` with the entry's icon: the first row of
// an icon has it drawn, every later row of the same icon gets a copy.
void PlaceRowImage(const FingerEntry* entry, int index, DrawnIcons& drawn)
{
    const bool ownIcon = entry->iconFile[0] != '\0';
    const DrawnIcons::key_type key(std::string(entry->iconFile, strnlen(entry->iconFile, PATH_SIZE)),
                                   ownIcon ? entry->iconIndex : 0);
    const auto found = drawn.find(key);
    if (found == drawn.end()) {
        PutEntryIcon(entry, index);
        drawn.emplace(key, index);
        return;
    }
    for (int which : IMAGE_LISTS) {
        HIMAGELIST images = ImageList(which);
        ImageList_Copy(images, index, images, found->second, ILCF_MOVE);
    }
}

// Inserts the entry's row after the last one, with the row's position as its
// image index; returns that index, or -1 when the row could not be
// inserted. The columns after the first ask for their texts as the first
// does: a column whose text was never set is a callback one.
int AddRowAtEnd(HWND list, FingerEntry* entry)
{
    RowCursor row = {};
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    row.iItem = RowCount();
    row.pszText = LPSTR_TEXTCALLBACKA;
    row.cchTextMax = DISPLAY_TEXT_SIZE;
    row.iImage = row.iItem;
    row.lParam = reinterpret_cast<LPARAM>(entry);
    if (SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)) == -1) {
        ShowMessageBox("Couldn't insert a list view item", "Error", MB_OK);
        return -1;
    }
    return row.iImage;
}

// Moves the cursor to the next row after its index that matches flags and
// reads that row into it; returns the row index or -1.
int NextMatchingRow(RowCursor* row, UINT flags, UINT stateMask)
{
    HWND list = List();
    if (!list)
        return -1;
    int index = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row->iItem, MAKELPARAM(flags, 0)));
    if (index < 0)
        return -1;
    row->mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    row->stateMask = stateMask;
    row->iItem = index;
    row->iSubItem = 0;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(row)))
        return -1;
    return index;
}

void CopyText(char* buffer, int size, const char* text, int width)
{
    snprintf(buffer, static_cast<size_t>(size), "%.*s", width - 1, text);
}

void LastFingeredText(const FingerEntry* entry, char* buffer, int size)
{
    if (entry->lastFingered == 0) {
        snprintf(buffer, static_cast<size_t>(size), "Not Yet Fingered");
        return;
    }
    const time_t when = entry->lastFingered;
    const tm* local = localtime(&when);
    if (!local || strftime(buffer, static_cast<size_t>(size), "%c", local) == 0)
        buffer[0] = '\0';
}

// The names of the entry's groups joined by ", ". Five names of up to 39
// characters do not always fit: a text that is cut ends with "...".
void GroupsText(const FingerEntry* entry, char* buffer, int size)
{
    if (!(entry->flags & FE_ALL_GROUPS)) {
        snprintf(buffer, static_cast<size_t>(size), "None");
        return;
    }
    buffer[0] = '\0';
    int used = 0;
    const char* separator = "";
    for (int g = 0; g < GROUP_COUNT; ++g) {
        if (!(entry->flags & GroupMask(g)))
            continue;
        const int room = size - used;
        const int written = snprintf(buffer + used, static_cast<size_t>(room), "%s%.*s", separator,
                                     GROUP_NAME_SIZE - 1, Settings.groupNames[g]);
        separator = ", ";
        if (written >= 0 && written < room) {
            used += written;
            continue;
        }
        if (size > 3)
            memcpy(buffer + size - 4, "...", 4);
        return;
    }
}

void OnGetDisplayInfo(NMLVDISPINFOA* info)
{
    auto* entry = reinterpret_cast<FingerEntry*>(info->item.lParam);
    if (!entry || !(info->item.mask & LVIF_TEXT))
        return;
    switch (info->item.iSubItem) {
    case 0:
        info->item.pszText = entry->description;
        break;
    case 1:
        info->item.pszText = entry->address;
        break;
    case 2:
    case 3:
    case 4:
        EntryColumnText(entry, info->item.iSubItem, DisplayTextBuffer, sizeof DisplayTextBuffer);
        info->item.pszText = DisplayTextBuffer;
        break;
    default:
        break;
    }
}

void OnColumnClick(const NMLISTVIEW* click)
{
    const int column = click->iSubItem;
    if (column < 0 || column >= LIST_COLUMNS)
        return;
    Settings.sortColumn = column;
    Settings.options ^= OptSortToggle(column);
    SendMessageA(click->hdr.hwndFrom, LVM_SORTITEMS, column, reinterpret_cast<LPARAM>(CompareEntryRows));
}

// The row under the position of the message being handled, or -1; point
// receives that position in screen coordinates.
int RowAtMessagePosition(HWND list, POINT& point)
{
    const DWORD position = GetMessagePos();
    point.x = static_cast<short>(LOWORD(position));
    point.y = static_cast<short>(HIWORD(position));
    LVHITTESTINFO hit = {};
    hit.pt = point;
    ScreenToClient(list, &hit.pt);
    return static_cast<int>(SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

void OnRightClick(HWND mainWindow, HWND list, HMENU menu)
{
    POINT point;
    if (RowAtMessagePosition(list, point) < 0)
        return;
    if (!menu)
        return;
    EnableMenuItem(menu, IDM_CTX_PROPERTIES, MF_BYCOMMAND | (CountSelectedRows() == 1 ? MF_ENABLED : MF_GRAYED));
    TrackPopupMenu(menu, 0, point.x, point.y, 0, mainWindow, nullptr);
}

void OnDoubleClick(HWND list)
{
    POINT point;
    const int index = RowAtMessagePosition(list, point);
    if (index < 0)
        return;
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) || !item.lParam)
        return;
    FingerEntryNow(reinterpret_cast<FingerEntry*>(item.lParam));
}

template <typename T>
int Order(T a, T b)
{
    return (a > b) - (a < b);
}

}

HWND CreateEntryListView(HWND mainWindow)
{
    RECT client;
    GetClientRect(mainWindow, &client);
    const DWORD style = WS_CHILD | WS_VISIBLE | LVS_AUTOARRANGE | LVS_SHOWSELALWAYS | (Settings.listStyle & LVS_TYPEMASK);
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", style, 0, 0, client.right, client.bottom, mainWindow,
                                reinterpret_cast<HMENU>(IDC_ENTRY_LIST), GetModuleHandleA(nullptr), nullptr);
    if (!list)
        return nullptr;
    EntryListView = list;

    if (!DefaultEntryIcon)
        DefaultEntryIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_DEFAULT_ENTRY));
    if (!DefaultEntryIcon)
        DefaultEntryIcon = LoadIconA(nullptr, IDI_APPLICATION);
    for (int which = 0; which < 2; ++which) {
        const int size = IMAGE_SIZES[which];
        if (!DefaultImages[which])
            DefaultImages[which] = MakeDefaultImage(size);
        HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR, 0, IMAGE_GROWTH);
        SendMessageA(list, LVM_SETIMAGELIST, IMAGE_LISTS[which], reinterpret_cast<LPARAM>(images));
    }

    for (int column = 0; column < LIST_COLUMNS; ++column) {
        char title[COLUMN_TITLE_SIZE] = "";
        LoadStringA(GetModuleHandleA(nullptr), IDS_COLUMN_DESCRIPTION + column, title, sizeof title);
        LVCOLUMNA info = {};
        info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        info.fmt = LVCFMT_LEFT;
        info.cx = Settings.columnWidths[column];
        info.pszText = title;
        info.iSubItem = column;
        if (SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&info)) == -1) {
            ShowMessageBox("Couldn't insert a list view column", "Error", MB_OK);
            DestroyWindow(list);
            EntryListView = nullptr;
            return nullptr;
        }
    }
    return list;
}

void SetListViewStyle(int view)
{
    HWND list = List();
    if (!list)
        return;
    view &= LVS_TYPEMASK;
    SaveColumnWidths();
    const LONG style = GetWindowLongA(list, GWL_STYLE);
    if ((style & LVS_TYPEMASK) != view)
        SetWindowLongA(list, GWL_STYLE, (style & ~LVS_TYPEMASK) | view);
    Settings.listStyle = static_cast<uint32_t>(view);
    ArrangeEntryListView();
    RedrawAllRows();
    // The control repaints only its items; what the old view drew elsewhere
    // must go too.
    InvalidateRect(list, nullptr, TRUE);
}

void SaveColumnWidths()
{
    if (!List() || CurrentView() != LVS_REPORT)
        return;
    for (int column = 0; column < LIST_COLUMNS; ++column) {
        LVCOLUMNA info = {};
        info.mask = LVCF_WIDTH;
        if (SendMessageA(List(), LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info)))
            Settings.columnWidths[column] = info.cx;
    }
}

// All rows go in one message: deleting them one by one renumbers the images
// of every later row each time. Clearing the image lists keeps every row's
// image index equal to its position when the list is filled again.
void ClearEntryListView()
{
    HWND list = List();
    if (!list)
        return;
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (int which : IMAGE_LISTS)
        ImageList_Remove(ImageList(which), -1);
}

// Temporary entries (quick finger and quick whois) never get a row. The
// control does not repaint while it is filled:
// a repaint after every row makes a long list take minutes. The image lists
// are sized once for all rows and each image is put in its place, rather
// than grown and drawn one icon at a time.
void FillEntryListView()
{
    HWND list = List();
    if (!list)
        return;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ClearEntryListView();
    LockEntryList();
    int listed = 0;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (!(entry->flags & FE_TEMPORARY))
            ++listed;
    }
    const bool reserved = listed > 0 && ReserveImages(listed);
    DrawnIcons drawn;
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (entry->flags & FE_TEMPORARY)
            continue;
        if (!reserved) {
            InsertEntryRow(entry);
            continue;
        }
        const int image = AddRowAtEnd(list, entry);
        if (image >= 0)
            PlaceRowImage(entry, image, drawn);
    }
    UnlockEntryList();
    // Rows that could not be inserted leave no images behind.
    const int rows = RowCount();
    if (reserved && rows < listed) {
        for (int which : IMAGE_LISTS)
            ImageList_SetImageCount(ImageList(which), rows);
    }
    SortEntryListView();
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

int InsertEntryRow(FingerEntry* entry)
{
    HWND list = List();
    if (!list)
        return 1;
    RowCursor row = {};
    row.iImage = AddRowAtEnd(list, entry);
    if (row.iImage < 0)
        return 1;
    row.iItem = row.iImage;
    SetEntryRowIcon(entry, &row, true);
    return 0;
}

int SetEntryRowIcon(FingerEntry* entry, const RowCursor* row, bool append)
{
    PutEntryIcon(entry, append ? -1 : row->iImage);
    return 0;
}

namespace {

// The entries whose rows another thread asked to redraw, waiting for the main
// thread's next idle point: two calls across threads after every finger
// would cost more than the rest of its bookkeeping.
struct PendingRows {
    std::vector<FingerEntry*> entries;
};

PendingRows pendingRows;

SharedLock& PendingRowsLock()
{
    static SharedLock lock;
    return lock;
}

// The row of the entry, or -1 when the list does not show it.
int FindEntryRow(HWND list, const FingerEntry* entry)
{
    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(entry);
    return static_cast<int>(
        SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

bool IsListedEntry(const FingerEntry* entry)
{
    LockEntryList();
    const FingerEntry* listed = EntryList.head;
    while (listed && listed != entry)
        listed = listed->next;
    UnlockEntryList();
    return listed != nullptr;
}

// Main thread: redraws the rows asked for by other threads. An entry deleted
// since has no row and needs none.
void RedrawPendingRows()
{
    std::vector<FingerEntry*> entries;
    {
        std::lock_guard<SharedLock> hold(PendingRowsLock());
        entries.swap(pendingRows.entries);
    }
    for (FingerEntry* entry : entries) {
        const int row = FindEntryRow(List(), entry);
        if (row >= 0)
            RedrawRow(row);
        else if (IsListedEntry(entry))
            ShowMessageBox("Couldn't match *fe with list view iItems", "Redraw_FingerEntry");
    }
}

}

// Called by the task thread after every job: on another thread than the
// list's, the row is redrawn at the main thread's next idle point.
int Redraw_FingerEntry(FingerEntry* entry)
{
    HWND list = List();
    if (!list)
        return 0;
    if (GetWindowThreadProcessId(list, nullptr) != GetCurrentThreadId()) {
        bool wake = false;
        {
            std::lock_guard<SharedLock> hold(PendingRowsLock());
            wake = pendingRows.entries.empty();
            if (std::find(pendingRows.entries.begin(), pendingRows.entries.end(), entry) == pendingRows.entries.end())
                pendingRows.entries.push_back(entry);
        }
        // Any message brings the main thread's loop round to its idle work.
        if (wake)
            PostMessageA(list, WM_NULL, 0, 0);
        return 0;
    }
    const int row = FindEntryRow(list, entry);
    if (row < 0) {
        ShowMessageBox("Couldn't match *fe with list view iItems", "Redraw_FingerEntry");
        return 1;
    }
    RedrawRow(row);
    return 0;
}

void RedrawRow(int row)
{
    if (row == -1) {
        RedrawAllRows();
        return;
    }
    SendMessageA(List(), LVM_REDRAWITEMS, row, row);
}

void RedrawAllRows()
{
    const int count = RowCount();
    if (count > 0)
        SendMessageA(List(), LVM_REDRAWITEMS, 0, count - 1);
}

void ArrangeEntryListView()
{
    SendMessageA(List(), LVM_ARRANGE, LVA_DEFAULT, 0);
}

void FocusEntryListView()
{
    if (List())
        SetFocus(List());
}

int FirstSelectedRow(RowCursor* row)
{
    ZeroMemory(row, sizeof *row);
    row->iItem = -1;
    return NextSelectedRow(row);
}

int NextSelectedRow(RowCursor* row)
{
    return NextMatchingRow(row, LVNI_SELECTED, ~0u);
}

int FirstRow(RowCursor* row)
{
    ZeroMemory(row, sizeof *row);
    row->iItem = -1;
    return NextRow(row);
}

int NextRow(RowCursor* row)
{
    return NextMatchingRow(row, LVNI_ALL, 0);
}

int CountSelectedRows()
{
    int count = 0;
    RowCursor row;
    for (int i = FirstSelectedRow(&row); i >= 0; i = NextSelectedRow(&row))
        ++count;
    return count;
}

void SelectAllRows()
{
    HWND list = List();
    if (!list)
        return;
    // Row -1 stands for every row.
    LVITEMA item = {};
    item.state = LVIS_SELECTED;
    item.stateMask = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    FocusEntryListView();
}

void SortEntryListView()
{
    SendMessageA(List(), LVM_SORTITEMS, Settings.sortColumn, reinterpret_cast<LPARAM>(CompareEntryRows));
}

void RequestResort()
{
    ResortRequested = 1;
}

void ResortIfRequested()
{
    if (List())
        RedrawPendingRows();
    if (!ResortRequested)
        return;
    SortEntryListView();
    ResortRequested = 0;
}

void UpdateEntryMenu(HWND mainWindow, HMENU menu)
{
    static const UINT viewItems[4] = {IDM_VIEW_LARGE_ICONS, IDM_VIEW_DETAILS, IDM_VIEW_SMALL_ICONS, IDM_VIEW_LIST};
    CheckMenuRadioItem(menu, IDM_VIEW_LARGE_ICONS, IDM_VIEW_DETAILS, viewItems[CurrentView()], MF_BYCOMMAND);
    const int selected = CountSelectedRows();
    EnableMenuItem(menu, IDM_PROPERTIES, MF_BYCOMMAND | (selected == 1 ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_SET_GROUPS, MF_BYCOMMAND | (selected == 0 ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(menu, IDM_DELETE, MF_BYCOMMAND | (selected == 0 ? MF_GRAYED : MF_ENABLED));
    const bool focused = List() && GetFocus() == List();
    EnableMenuItem(menu, IDM_SELECT_ALL, MF_BYCOMMAND | (focused ? MF_ENABLED : MF_GRAYED));
}

bool OnEntryListNotify(HWND mainWindow, const NMHDR* header, HMENU contextMenu)
{
    if (header->idFrom != IDC_ENTRY_LIST)
        return false;
    switch (header->code) {
    case LVN_GETDISPINFOA:
        OnGetDisplayInfo(reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header)));
        break;
    case LVN_COLUMNCLICK:
        OnColumnClick(reinterpret_cast<const NMLISTVIEW*>(header));
        break;
    case NM_RCLICK:
        OnRightClick(mainWindow, header->hwndFrom, contextMenu);
        break;
    case NM_DBLCLK:
        OnDoubleClick(header->hwndFrom);
        break;
    default:
        break;
    }
    return true;
}

int CALLBACK CompareEntryRows(LPARAM a, LPARAM b, LPARAM column)
{
    const auto* first = reinterpret_cast<const FingerEntry*>(a);
    const auto* second = reinterpret_cast<const FingerEntry*>(b);
    if (column < 0 || column >= LIST_COLUMNS)
        return 0;
    // With the direction bit set, texts sort ascending and numbers largest first.
    const bool set = (Settings.options & OptSortToggle(static_cast<int>(column))) != 0;
    switch (column) {
    case 0: {
        const int order = lstrcmpiA(first->description, second->description);
        return set ? order : -order;
    }
    case 1: {
        const int order = lstrcmpiA(first->address, second->address);
        return set ? order : -order;
    }
    case 2: {
        const int order = Order(static_cast<int32_t>(first->fingerCount), static_cast<int32_t>(second->fingerCount));
        return set ? -order : order;
    }
    case 3: {
        const int order = Order(first->lastFingered, second->lastFingered);
        return set ? -order : order;
    }
    default: {
        const int order = Order(first->flags & FE_ALL_GROUPS, second->flags & FE_ALL_GROUPS);
        return set ? -order : order;
    }
    }
}

void DumpEntryListView()
{
    FingerEntry carrier;
    SetEntryDefaults(carrier);
    char line[64 + DESCRIPTION_SIZE];
    snprintf(line, sizeof line, "%d List View Entries\n\n", RowCount());
    AppendEntryText(&carrier, line);
    RowCursor row;
    for (int i = FirstRow(&row); i >= 0; i = NextRow(&row)) {
        const auto* entry = reinterpret_cast<const FingerEntry*>(row.lParam);
        snprintf(line, sizeof line, "List View Item #%02d. Image #%02d. Finger Entry: %.*s\n", i, row.iImage,
                 DESCRIPTION_SIZE - 1, entry ? entry->description : "");
        AppendEntryText(&carrier, line);
    }
    AppendEntryText(&carrier, "\n");
}

void EntryColumnText(const FingerEntry* entry, int column, char* buffer, int size)
{
    if (size <= 0)
        return;
    switch (column) {
    case 0:
        CopyText(buffer, size, entry->description, DESCRIPTION_SIZE);
        break;
    case 1:
        CopyText(buffer, size, entry->address, ADDRESS_SIZE);
        break;
    case 2:
        snprintf(buffer, static_cast<size_t>(size), "%d", static_cast<int>(entry->fingerCount));
        break;
    case 3:
        LastFingeredText(entry, buffer, size);
        break;
    case 4:
        GroupsText(entry, buffer, size);
        break;
    default:
        buffer[0] = '\0';
        break;
    }
}
