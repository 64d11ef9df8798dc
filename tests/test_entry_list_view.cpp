#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "output/html_output.h"
#include "output/monitor_files.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_windows.h"
#include "ui/entry_commands.h"
#include "ui/entry_list_view.h"

namespace {

constexpr UINT WM_TEST_RIGHT_CLICK = WM_APP + 1;

// What the stand-in main window saw of the entry context menu.
struct MenuRecord {
    int shown = 0;
    bool propertiesGrayed = false;
};
MenuRecord menuRecord;
WNDPROC standInProcedure;

// Forwards the list's notifications as the real main window does, records
// the context menu when it opens and closes it again at once.
LRESULT CALLBACK ForwardingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NOTIFY:
        if (OnEntryListNotify(window, reinterpret_cast<const NMHDR*>(lParam)))
            return 0;
        break;
    case WM_TEST_RIGHT_CLICK: {
        NMHDR header = {ShellHandles.entryListView, IDC_ENTRY_LIST, static_cast<UINT>(NM_RCLICK)};
        OnEntryListNotify(window, &header);
        return 0;
    }
    case WM_INITMENUPOPUP: {
        HMENU menu = reinterpret_cast<HMENU>(wParam);
        if (menu == ShellHandles.entryContextMenu) {
            menuRecord.shown++;
            menuRecord.propertiesGrayed = (GetMenuState(menu, IDM_CTX_PROPERTIES, MF_BYCOMMAND) & MF_GRAYED) != 0;
        }
        break;
    }
    case WM_ENTERIDLE:
        if (wParam == MSGF_MENU)
            EndMenu();
        break;
    default:
        break;
    }
    return CallWindowProcA(standInProcedure, window, message, wParam, lParam);
}

// The pixels of an image of an image list drawn on white.
std::vector<uint32_t> ImagePixels(HIMAGELIST images, int index, int size)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, size, size, WHITENESS);
    ImageList_Draw(images, index, dc, 0, 0, ILD_NORMAL);
    GdiFlush();
    const auto* first = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> pixels(first, first + size * size);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

class EntryListViewTest : public ::testing::Test {
protected:
    HWND main = nullptr;
    HWND list = nullptr;
    HMENU contextMenus = nullptr;

    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        StartTestProgram({.simulate = true, .startTaskThread = false});
        main = ShellHandles.mainWindow;
        standInProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ForwardingProcedure)));
        ShowWindow(main, SW_SHOW);
        SetForegroundWindow(main);
        list = CreateEntryListView(main);
        ASSERT_NE(list, nullptr);
        ShellHandles.entryListView = list;
        RECT client;
        GetClientRect(main, &client);
        MoveWindow(list, 0, 0, client.right, client.bottom / 2, TRUE);
        contextMenus = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_ENTRY_CONTEXT));
        ShellHandles.entryContextMenu = GetSubMenu(contextMenus, 0);
        menuRecord = {};
        ResortRequested = 0;
    }

    void TearDown() override
    {
        StopBoxAnswerer();
        while (JobQueue.jobHead)
            RemoveJob(JobQueue.jobHead);
        ShellHandles.entryListView = nullptr;
        ShellHandles.entryContextMenu = nullptr;
        if (contextMenus)
            DestroyMenu(contextMenus);
        StopTestProgram();
    }

    FingerEntry* AddListed(const char* description, const char* address, uint32_t flags = 0)
    {
        FingerEntry* entry = AddTestEntry(description, address, flags);
        EXPECT_EQ(InsertEntryRow(entry), 0);
        return entry;
    }

    std::string ItemText(int row, int column)
    {
        char text[260] = "";
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }

    std::vector<FingerEntry*> RowEntries()
    {
        std::vector<FingerEntry*> entries;
        RowCursor row;
        for (int i = FirstRow(&row); i >= 0; i = NextRow(&row))
            entries.push_back(reinterpret_cast<FingerEntry*>(row.lParam));
        return entries;
    }

    int RowOf(const FingerEntry* entry)
    {
        LVFINDINFOA find = {};
        find.flags = LVFI_PARAM;
        find.lParam = reinterpret_cast<LPARAM>(entry);
        return static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(&find)));
    }

    void Select(int row, bool selected = true)
    {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED;
        item.state = selected ? LVIS_SELECTED : 0;
        SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }

    void ClickColumn(int column)
    {
        NMLISTVIEW click = {};
        click.hdr = {list, IDC_ENTRY_LIST, static_cast<UINT>(LVN_COLUMNCLICK)};
        click.iItem = -1;
        click.iSubItem = column;
        SendMessageA(main, WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&click));
    }

    // The centre of a row's label, or a point below every row, in list client coordinates.
    POINT RowPoint(int row)
    {
        RECT rect = {};
        rect.left = LVIR_LABEL;
        SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }

    POINT EmptyPoint()
    {
        RECT client;
        GetClientRect(list, &client);
        return {client.right / 2, client.bottom - 10};
    }

    // The pointer moves to the point; the message is posted, so it carries
    // that position when it is taken from the queue.
    void PostAt(POINT point, HWND target, UINT message, WPARAM wParam, LPARAM lParam)
    {
        POINT screen = point;
        ClientToScreen(list, &screen);
        SetCursorPos(screen.x, screen.y);
        PostMessageA(target, message, wParam, lParam);
        PumpUntil([] { return false; }, 200);
    }

    void DoubleClickAt(POINT point)
    {
        PostAt(point, list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(point.x, point.y));
    }

    void RightClickAt(POINT point) { PostAt(point, main, WM_TEST_RIGHT_CLICK, 0, 0); }

    std::vector<FingerEntry*> QueuedEntries()
    {
        std::vector<FingerEntry*> entries;
        for (Job* job = JobQueue.jobHead; job; job = job->nextJob)
            entries.push_back(job->entry);
        return entries;
    }
};

TEST_F(EntryListViewTest, ColumnTextsAsTheListShowsThem)
{
    const char* titles[LIST_COLUMNS] = {"Description", "Address", "#", "Last Fingered", "Groups"};
    for (int column = 0; column < LIST_COLUMNS; ++column) {
        char title[64] = "";
        LVCOLUMNA info = {};
        info.mask = LVCF_TEXT;
        info.pszText = title;
        info.cchTextMax = sizeof title;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info)));
        EXPECT_STREQ(title, titles[column]);
    }

    AddListed("Fresh", "fresh@host");
    FingerEntry* busy = AddListed("Busy", "busy@host", FE_GROUP_MAIL | FE_GROUP_2);
    busy->fingerCount = 42;
    busy->lastFingered = 1700000000;
    char expectedTime[128];
    const time_t when = busy->lastFingered;
    strftime(expectedTime, sizeof expectedTime, "%c", localtime(&when));
    const std::vector<std::vector<std::string>> rows = {
        {"Fresh", "fresh@host", "0", "Not Yet Fingered", "None"},
        {"Busy", "busy@host", "42", expectedTime, "Finger Mail, Finger Group #2"},
    };
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < LIST_COLUMNS; ++column)
            EXPECT_EQ(ItemText(row, column), rows[row][column]) << "row " << row << ", column " << column;

    snprintf(Settings.groupNames[4], GROUP_NAME_SIZE, "Night shift");
    busy->flags = FE_GROUP_STATUS | FE_GROUP_1 | FE_GROUP_3;
    EXPECT_EQ(ItemText(1, 4), "Finger Status, Finger Group #1, Night shift");
}

TEST_F(EntryListViewTest, LongGroupNamesAreCutInsideTheBuffer)
{
    for (int g = 0; g < GROUP_COUNT; ++g) {
        std::string name(GROUP_NAME_SIZE - 1, static_cast<char>('A' + g));
        snprintf(Settings.groupNames[g], GROUP_NAME_SIZE, "%s", name.c_str());
    }
    FingerEntry* entry = AddListed("All groups", "all@host", FE_ALL_GROUPS);

    const std::string full = std::string(39, 'A') + ", " + std::string(39, 'B') + ", " + std::string(39, 'C') + ", " +
                             std::string(39, 'D') + ", " + std::string(39, 'E');
    const std::string cut = full.substr(0, 124) + "...";

    char area[200];
    memset(area, 'X', sizeof area);
    EntryColumnText(entry, 4, area + 10, 128);
    EXPECT_EQ(std::string(area + 10), cut);
    EXPECT_EQ(std::string(area, 10), std::string(10, 'X'));
    EXPECT_EQ(std::string(area + 138, 62), std::string(62, 'X'));

    EXPECT_EQ(ItemText(0, 4), cut);

    // Names that fit are not marked as cut.
    entry->flags = FE_GROUP_MAIL | FE_GROUP_STATUS | FE_GROUP_1;
    EXPECT_EQ(ItemText(0, 4), full.substr(0, 3 * 39 + 4));

    // A tiny buffer still ends inside itself.
    memset(area, 'X', sizeof area);
    EntryColumnText(entry, 4, area, 3);
    EXPECT_EQ(area[2], '\0');
    EXPECT_EQ(area[3], 'X');
}

TEST_F(EntryListViewTest, HeaderClicksSortEveryColumnBothWays)
{
    FingerEntry* bravo = AddListed("Bravo", "zulu@h", FE_GROUP_MAIL);
    FingerEntry* alpha = AddListed("alpha", "Yankee@h", FE_GROUP_STATUS | FE_GROUP_3);
    FingerEntry* charlie = AddListed("Charlie", "xray@h");
    FingerEntry* delta = AddListed("delta", "Whiskey@h", FE_GROUP_1);
    bravo->fingerCount = 5;
    alpha->fingerCount = 10;
    charlie->fingerCount = 1;
    delta->fingerCount = 7;
    bravo->lastFingered = 3000;
    alpha->lastFingered = 1000;
    charlie->lastFingered = 2000;
    delta->lastFingered = 0;

    // The order with the column's direction bit set.
    const std::vector<std::vector<FingerEntry*>> setOrder = {
        {alpha, bravo, charlie, delta},  // descriptions ascending, case ignored
        {delta, charlie, alpha, bravo},  // addresses ascending
        {alpha, delta, bravo, charlie},  // most fingered first
        {bravo, charlie, alpha, delta},  // latest first
        {bravo, alpha, delta, charlie},  // Mail, Status, group 1, none
    };
    Settings.options &= ~(OptSortToggle(0) | OptSortToggle(1) | OptSortToggle(2) | OptSortToggle(3) | OptSortToggle(4));
    for (int column = 0; column < LIST_COLUMNS; ++column) {
        ClickColumn(column);
        EXPECT_EQ(Settings.sortColumn, column);
        EXPECT_TRUE(Settings.options & OptSortToggle(column));
        EXPECT_EQ(RowEntries(), setOrder[column]) << "column " << column;

        ClickColumn(column);
        EXPECT_FALSE(Settings.options & OptSortToggle(column));
        std::vector<FingerEntry*> reversed(setOrder[column].rbegin(), setOrder[column].rend());
        EXPECT_EQ(RowEntries(), reversed) << "column " << column;
    }

    // A column the list does not have leaves the order alone.
    EXPECT_EQ(CompareEntryRows(reinterpret_cast<LPARAM>(alpha), reinterpret_cast<LPARAM>(bravo), 7), 0);

    // A re-sort asked for by another thread happens at the next idle point.
    Settings.sortColumn = 2;
    Settings.options |= OptSortToggle(2);
    charlie->fingerCount = 99;
    RequestResort();
    EXPECT_EQ(RowEntries(), (std::vector<FingerEntry*>{charlie, delta, alpha, bravo}));
    ResortIfRequested();
    EXPECT_EQ(ResortRequested, 0);
    EXPECT_EQ(RowEntries(), (std::vector<FingerEntry*>{charlie, alpha, delta, bravo}));
}

// The icons an entry can have, drawn the way the list's image lists draw
// them: the default icon and two icons of the system's shell library.
class RowIconTest : public EntryListViewTest {
protected:
    enum Icon { DEFAULT_ICON, SHELL_ICON_1, SHELL_ICON_2, ICON_KINDS };
    static constexpr int SIZES[2] = {16, 32};
    std::string shell;
    std::vector<uint32_t> expectedPixels[2][ICON_KINDS];

    void SetUp() override
    {
        EntryListViewTest::SetUp();
        char system[MAX_PATH];
        GetSystemDirectoryA(system, sizeof system);
        shell = std::string(system) + "\\shell32.dll";
        for (int which = 0; which < 2; ++which) {
            HIMAGELIST reference = ImageList_Create(SIZES[which], SIZES[which], ILC_COLOR, 0, 1);
            ImageList_ReplaceIcon(reference, -1,
                                  LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_DEFAULT_ENTRY)));
            for (int index = 1; index <= 2; ++index) {
                HICON icon = ExtractIconA(GetModuleHandleA(nullptr), shell.c_str(), index);
                ASSERT_NE(icon, nullptr);
                ImageList_ReplaceIcon(reference, -1, icon);
                DestroyIcon(icon);
            }
            for (int icon = 0; icon < ICON_KINDS; ++icon)
                expectedPixels[which][icon] = ImagePixels(reference, icon, SIZES[which]);
            ImageList_Destroy(reference);
        }
        ASSERT_NE(expectedPixels[1][DEFAULT_ICON], expectedPixels[1][SHELL_ICON_1]);
        ASSERT_NE(expectedPixels[1][SHELL_ICON_1], expectedPixels[1][SHELL_ICON_2]);
    }

    void GiveIcon(FingerEntry* entry, Icon icon)
    {
        entry->iconFile[0] = '\0';
        entry->iconIndex = 0;
        if (icon != DEFAULT_ICON) {
            snprintf(entry->iconFile, PATH_SIZE, "%s", shell.c_str());
            entry->iconIndex = icon == SHELL_ICON_1 ? 1 : 2;
        }
    }

    HIMAGELIST Images(int which)
    {
        return reinterpret_cast<HIMAGELIST>(
            SendMessageA(list, LVM_GETIMAGELIST, which == 0 ? LVSIL_SMALL : LVSIL_NORMAL, 0));
    }

    // Every row's image, in both lists, looks like the icon its entry
    // should show; and there is one image per row.
    void ExpectEveryRowShowsItsIcon(const std::vector<std::pair<FingerEntry*, Icon>>& icons)
    {
        const int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        EXPECT_EQ(rows, static_cast<int>(icons.size()));
        EXPECT_EQ(ImageList_GetImageCount(Images(0)), rows);
        EXPECT_EQ(ImageList_GetImageCount(Images(1)), rows);
        RowCursor row;
        for (int i = FirstRow(&row); i >= 0; i = NextRow(&row)) {
            const auto* entry = reinterpret_cast<const FingerEntry*>(row.lParam);
            Icon expected = ICON_KINDS;
            for (const auto& [listed, icon] : icons)
                if (listed == entry)
                    expected = icon;
            ASSERT_NE(expected, ICON_KINDS) << "row " << i;
            for (int which = 0; which < 2; ++which)
                EXPECT_EQ(ImagePixels(Images(which), row.iImage, SIZES[which]), expectedPixels[which][expected])
                    << "row " << i << " (" << entry->description << "), " << SIZES[which] << " pixels";
        }
    }
};

TEST_F(RowIconTest, FillingGivesEveryRowItsIconAndItsListPositionAsImage)
{
    std::vector<std::pair<FingerEntry*, Icon>> icons;
    std::vector<FingerEntry*> listed;
    for (int i = 0; i < 40; ++i) {
        char description[32];
        snprintf(description, sizeof description, "Entry %02d", (i * 17) % 40);
        FingerEntry* entry = AddTestEntry(description, "user@host");
        const Icon icon = static_cast<Icon>((i / 3) % ICON_KINDS);
        GiveIcon(entry, icon);
        icons.emplace_back(entry, icon);
        listed.push_back(entry);
        if (i % 13 == 5)
            AddTestEntry("", "quick@host", FE_TEMPORARY);
    }
    // A file without icons shows the default icon, as does an icon index
    // the file does not have.
    FingerEntry* noIcons = AddTestEntry("No icons", "n@host");
    snprintf(noIcons->iconFile, PATH_SIZE, "%s", "C:\\no such folder\\none.ico");
    icons.emplace_back(noIcons, DEFAULT_ICON);
    listed.push_back(noIcons);
    FingerEntry* noSuchIndex = AddTestEntry("No such index", "i@host");
    snprintf(noSuchIndex->iconFile, PATH_SIZE, "%s", shell.c_str());
    noSuchIndex->iconIndex = 100000;
    icons.emplace_back(noSuchIndex, DEFAULT_ICON);
    listed.push_back(noSuchIndex);

    Settings.sortColumn = 0;
    Settings.options |= OptSortToggle(0);
    FillEntryListView();

    // Sorted by description, each row's image index still is its entry's
    // place in the entry list.
    std::vector<FingerEntry*> rows = RowEntries();
    ASSERT_EQ(rows.size(), listed.size());
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_LT(lstrcmpiA(rows[i - 1]->description, rows[i]->description), 0);
    RowCursor row;
    for (int i = FirstRow(&row); i >= 0; i = NextRow(&row)) {
        const auto place = std::find(listed.begin(), listed.end(), reinterpret_cast<FingerEntry*>(row.lParam));
        EXPECT_EQ(row.iImage, place - listed.begin()) << "row " << i;
    }
    ExpectEveryRowShowsItsIcon(icons);

    // Removing rows in the middle keeps the others' icons.
    for (int removal = 0; removal < 3; ++removal) {
        ASSERT_EQ(FirstRow(&row), 0);
        for (int i = 0; i < 7; ++i)
            ASSERT_GE(NextRow(&row), 0);
        const auto* removed = reinterpret_cast<FingerEntry*>(row.lParam);
        ASSERT_EQ(RemoveEntryRow(&row), 0);
        icons.erase(std::find_if(icons.begin(), icons.end(), [&](const auto& icon) { return icon.first == removed; }));
    }
    ExpectEveryRowShowsItsIcon(icons);

    // Filling again starts afresh.
    FreeFingerEntry(noIcons);
    icons.erase(std::find_if(icons.begin(), icons.end(), [&](const auto& icon) { return icon.first == noIcons; }));
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        const bool shown = std::find_if(icons.begin(), icons.end(), [&](const auto& icon) {
                               return icon.first == entry;
                           }) != icons.end();
        if (!shown && !(entry->flags & FE_TEMPORARY)) {
            GiveIcon(entry, SHELL_ICON_2);
            icons.emplace_back(entry, SHELL_ICON_2);
        }
    }
    FillEntryListView();
    ExpectEveryRowShowsItsIcon(icons);
}

TEST_F(RowIconTest, RowsAddedOneByOneAndChangedIconsShowTheRightIcon)
{
    std::vector<std::pair<FingerEntry*, Icon>> icons;
    FingerEntry* filled = AddTestEntry("Filled", "f@host");
    GiveIcon(filled, SHELL_ICON_1);
    icons.emplace_back(filled, SHELL_ICON_1);
    FillEntryListView();
    for (int i = 0; i < 150; ++i) {
        char description[32];
        snprintf(description, sizeof description, "Added %03d", i);
        FingerEntry* entry = AddTestEntry(description, "user@host");
        const Icon icon = i % 10 == 3 ? SHELL_ICON_2 : DEFAULT_ICON;
        GiveIcon(entry, icon);
        ASSERT_EQ(InsertEntryRow(entry), 0);
        icons.emplace_back(entry, icon);
    }
    ExpectEveryRowShowsItsIcon(icons);

    // A changed icon replaces that row's image only, also with the default icon.
    RowCursor row;
    ASSERT_EQ(FirstRow(&row), 0);
    ASSERT_EQ(reinterpret_cast<FingerEntry*>(row.lParam), filled);
    GiveIcon(filled, DEFAULT_ICON);
    EXPECT_EQ(SetEntryRowIcon(filled, &row, false), 0);
    icons[0].second = DEFAULT_ICON;
    ASSERT_EQ(NextRow(&row), 1);
    GiveIcon(icons[1].first, SHELL_ICON_1);
    EXPECT_EQ(SetEntryRowIcon(icons[1].first, &row, false), 0);
    icons[1].second = SHELL_ICON_1;
    ExpectEveryRowShowsItsIcon(icons);
}

TEST_F(EntryListViewTest, ViewSwitchesKeepTheColumnWidths)
{
    AddListed("Row", "row@host");
    SetListViewStyle(1);
    ASSERT_TRUE(SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(250, 0)));
    SetListViewStyle(3);
    EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK, LVS_LIST);
    EXPECT_EQ(Settings.listStyle, 3u);
    EXPECT_EQ(Settings.columnWidths[1], 250);
    SetListViewStyle(0);
    SetListViewStyle(2);
    EXPECT_EQ(Settings.columnWidths[1], 250);
    SetListViewStyle(1);
    EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0), 250);
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 196);
    EXPECT_EQ(ItemText(0, 1), "row@host");
}

TEST_F(EntryListViewTest, MenuStatesFollowTheSelectionViewAndFocus)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_MAIN_MENU));
    ASSERT_NE(menu, nullptr);
    AddListed("One", "one@host");
    AddListed("Two", "two@host");
    auto grayed = [&](UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };
    auto checked = [&](UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; };

    UpdateEntryMenu(main, menu);
    EXPECT_TRUE(grayed(IDM_PROPERTIES));
    EXPECT_TRUE(grayed(IDM_SET_GROUPS));
    EXPECT_TRUE(grayed(IDM_DELETE));

    Select(0);
    UpdateEntryMenu(main, menu);
    EXPECT_FALSE(grayed(IDM_PROPERTIES));
    EXPECT_FALSE(grayed(IDM_SET_GROUPS));
    EXPECT_FALSE(grayed(IDM_DELETE));

    Select(1);
    UpdateEntryMenu(main, menu);
    EXPECT_TRUE(grayed(IDM_PROPERTIES));
    EXPECT_FALSE(grayed(IDM_SET_GROUPS));
    EXPECT_FALSE(grayed(IDM_DELETE));

    const int views[4] = {IDM_VIEW_LARGE_ICONS, IDM_VIEW_DETAILS, IDM_VIEW_SMALL_ICONS, IDM_VIEW_LIST};
    for (int view = 0; view < 4; ++view) {
        SetListViewStyle(view);
        UpdateEntryMenu(main, menu);
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(checked(views[other]), other == view) << "view " << view;
    }

    // Select all selects every row and moves the focus to the list.
    Select(0, false);
    Select(1, false);
    SetFocus(OutputWindow);
    UpdateEntryMenu(main, menu);
    EXPECT_TRUE(grayed(IDM_SELECT_ALL));
    SelectAllRows();
    EXPECT_EQ(CountSelectedRows(), 2);
    ASSERT_EQ(GetFocus(), list);
    UpdateEntryMenu(main, menu);
    EXPECT_FALSE(grayed(IDM_SELECT_ALL));
    DestroyMenu(menu);
}

TEST_F(EntryListViewTest, DoubleClickFingersTheRowUnderThePointer)
{
    AddListed("One", "one@host");
    FingerEntry* two = AddListed("Two", "two@host");
    DoubleClickAt(RowPoint(1));
    EXPECT_EQ(QueuedEntries(), std::vector<FingerEntry*>{two});

    DoubleClickAt(EmptyPoint());
    EXPECT_EQ(QueuedEntries(), std::vector<FingerEntry*>{two});
}

TEST_F(EntryListViewTest, RightClickShowsTheMenuOnlyOverARow)
{
    AddListed("One", "one@host");
    AddListed("Two", "two@host");
    Select(0);
    Select(1);
    RightClickAt(EmptyPoint());
    EXPECT_EQ(menuRecord.shown, 0);

    RightClickAt(RowPoint(1));
    EXPECT_EQ(menuRecord.shown, 1);
    EXPECT_TRUE(menuRecord.propertiesGrayed);

    Select(0, false);
    RightClickAt(RowPoint(1));
    EXPECT_EQ(menuRecord.shown, 2);
    EXPECT_FALSE(menuRecord.propertiesGrayed);
}

TEST_F(EntryListViewTest, NotificationsOfOtherControlsAreNotHandled)
{
    NMHDR header = {OutputWindow, IDC_OUTPUT_PANE, static_cast<UINT>(NM_DBLCLK)};
    EXPECT_FALSE(OnEntryListNotify(main, &header));
    header = {list, IDC_ENTRY_LIST, static_cast<UINT>(NM_SETFOCUS)};
    EXPECT_TRUE(OnEntryListNotify(main, &header));
}

TEST_F(EntryListViewTest, RedrawFindsTheRowOfAnEntry)
{
    FingerEntry* listed = AddListed("Listed", "l@h");
    FingerEntry* unlisted = AddTestEntry("Unlisted", "u@h");
    EXPECT_EQ(Redraw_FingerEntry(listed), 0);
    StartBoxAnswerer(IDOK);
    EXPECT_EQ(Redraw_FingerEntry(unlisted), 1);
    auto boxes = StopBoxAnswerer();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Redraw_FingerEntry");
    EXPECT_EQ(boxes[0].text, "Couldn't match *fe with list view iItems");
}

TEST_F(EntryListViewTest, DumpListsEveryRowInThePane)
{
    AddListed("Apple", "a@h");
    AddListed("Banana", "b@h");
    Settings.sortColumn = 0;
    Settings.options &= ~OptSortToggle(0);
    SortEntryListView();
    DumpEntryListView();
    EXPECT_EQ(PaneText(), "2 List View Entries\n\n"
                          "List View Item #00. Image #01. Finger Entry: Banana\n"
                          "List View Item #01. Image #00. Finger Entry: Apple\n\n");
}

TEST_F(EntryListViewTest, FingerQueuesOneJobPerSelectedRowInListOrder)
{
    FingerEntry* a = AddListed("A", "a@h");
    FingerEntry* b = AddListed("B", "b@h");
    FingerEntry* c = AddListed("C", "c@h");
    AddListed("D", "d@h");
    Settings.sortColumn = 0;
    Settings.options &= ~OptSortToggle(0);
    SortEntryListView();  // D, C, B, A
    FingerSelectedEntries(main);
    EXPECT_TRUE(QueuedEntries().empty());

    Select(1);
    Select(2);
    Select(3);
    FingerSelectedEntries(main);
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{c, b, a}));

    // While jobs are being killed the queue refuses: one message, no more jobs.
    JobQueue.jobState = JobQueue.jobState | JS_KILLING;
    StartBoxAnswerer(IDOK);
    FingerSelectedEntries(main);
    auto boxes = StopBoxAnswerer();
    JobQueue.jobState = JobQueue.jobState & ~JS_KILLING;
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(QueuedEntries().size(), 3u);
}

class LastOutputTest : public EntryListViewTest {
protected:
    std::string folder;

    void SetUp() override
    {
        EntryListViewTest::SetUp();
        ASSERT_EQ(SetUpPaths(), 1);
        folder = TempFolder() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(folder.c_str(), nullptr);
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s", folder.c_str());
    }

    void TearDown() override
    {
        RemoveFolderTree(folder);
        EntryListViewTest::TearDown();
    }

    void StoreAnswer(const FingerEntry* entry, const std::string& answer)
    {
        WriteWholeFile(folder + "\\" + entry->monitorFile, answer);
    }
};

TEST_F(LastOutputTest, NothingSelectedOrNothingReadableIsReported)
{
    AddListed("A", "a@h");
    AddListed("B", "b@h");
    StartBoxAnswerer(IDOK);
    ViewLastOutput(main);
    JumpToLastOutput();
    Select(0);
    Select(1);
    ViewLastOutput(main);
    auto boxes = StopBoxAnswerer();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption, "View Last Output");
    EXPECT_EQ(boxes[0].text, "No entries are selected.");
    EXPECT_EQ(boxes[1].caption, "Jump To Last Output");
    EXPECT_EQ(boxes[1].text, "No entries are selected.");
    EXPECT_EQ(boxes[2].caption, "View Last Output");
    EXPECT_EQ(boxes[2].text, "Couldn't view last output for the selected entries");
    EXPECT_EQ(PaneText(), "");
}

TEST_F(LastOutputTest, StoredAnswersAreShownInListOrder)
{
    FingerEntry* a = AddListed("A", "a@h");
    AddListed("B", "b@h");
    FingerEntry* c = AddListed("C", "c@h");
    StoreAnswer(a, "answer of A\n");
    StoreAnswer(c, "answer of C\n");
    Settings.sortColumn = 0;
    Settings.options &= ~OptSortToggle(0);
    SortEntryListView();  // C, B, A
    Select(0);
    Select(1);
    Select(2);
    StartBoxAnswerer(IDOK);
    ViewLastOutput(main);
    EXPECT_TRUE(StopBoxAnswerer().empty());
    EXPECT_EQ(PaneText(), "answer of C\nanswer of A\n");
}

TEST_F(LastOutputTest, JumpGoesToTheFirstSelectedEntrysBlock)
{
    FingerEntry* a = AddListed("A", "a@h");
    FingerEntry* b = AddListed("B", "b@h");
    AppendEntryText(a, "first block\n");
    AppendEntryText(b, "second block\n");
    a->outputStart = 0;
    b->outputStart = 12;
    Select(1);
    JumpToLastOutput();
    CHARRANGE selection = {};
    SendMessageA(OutputWindow, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    EXPECT_EQ(selection.cpMin, 12);
    EXPECT_EQ(selection.cpMax, 12);

    Select(0);
    JumpToLastOutput();
    SendMessageA(OutputWindow, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    EXPECT_EQ(selection.cpMin, 0);
}

}
