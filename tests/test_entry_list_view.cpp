// The entry list: its texts, sorting, rows and images, menus, pointer clicks
// and the commands on the selected entries.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "output/answer_buffers.h"
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

HMENU contextMenu;
int contextMenuShown;
bool propertiesGrayed;
WNDPROC standInProcedure;

// Forwards the list's notifications as the real main window does; notes the
// context menu when it opens and closes it again at once.
LRESULT CALLBACK ForwardingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && OnEntryListNotify(window, reinterpret_cast<const NMHDR*>(lParam), contextMenu))
        return 0;
    if (message == WM_TEST_RIGHT_CLICK) {
        const NMHDR header = {EntryListView, IDC_ENTRY_LIST, static_cast<UINT>(NM_RCLICK)};
        OnEntryListNotify(window, &header, contextMenu);
        return 0;
    }
    if (message == WM_INITMENUPOPUP && reinterpret_cast<HMENU>(wParam) == contextMenu) {
        ++contextMenuShown;
        propertiesGrayed = (GetMenuState(contextMenu, IDM_CTX_PROPERTIES, MF_BYCOMMAND) & MF_GRAYED) != 0;
    }
    if (message == WM_ENTERIDLE && wParam == MSGF_MENU)
        EndMenu();
    return CallWindowProcA(standInProcedure, window, message, wParam, lParam);
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
        RECT client;
        GetClientRect(main, &client);
        MoveWindow(list, 0, 0, client.right, client.bottom / 2, TRUE);
        contextMenus = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_ENTRY_CONTEXT));
        contextMenu = GetSubMenu(contextMenus, 0);
        contextMenuShown = 0;
        // Descriptions descending.
        Settings.sortColumn = 0;
        Settings.options &= ~OptSortToggle(0);
    }

    void TearDown() override
    {
        StopAnsweringBoxes();
        while (JobQueue.jobHead)
            RemoveJob(JobQueue.jobHead);
        DestroyMenu(contextMenus);
        StopTestProgram();
        EntryListView = nullptr;
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
        ListView_GetItemText(list, row, column, text, sizeof text);
        return text;
    }

    static std::vector<FingerEntry*> QueuedEntries()
    {
        std::vector<FingerEntry*> entries;
        for (Job* job = JobQueue.jobHead; job; job = job->nextJob)
            entries.push_back(job->entry);
        return entries;
    }

    void Select(int row, bool selected = true) { ListView_SetItemState(list, row, selected ? LVIS_SELECTED : 0, LVIS_SELECTED); }

    // The pointer moves to the point (list client coordinates, a row's label
    // for row >= 0, else below every row); the message is posted, so it
    // carries that position when it is handled.
    void PostAt(int row, HWND target, UINT message, WPARAM wParam)
    {
        RECT rect;
        GetClientRect(list, &rect);
        POINT point = {rect.right / 2, rect.bottom - 10};
        if (row >= 0 && ListView_GetItemRect(list, row, &rect, LVIR_LABEL))
            point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        POINT screen = point;
        ClientToScreen(list, &screen);
        SetCursorPos(screen.x, screen.y);
        PostMessageA(target, message, wParam, MAKELPARAM(point.x, point.y));
        PumpMessagesFor(200);
    }
};

TEST_F(EntryListViewTest, ColumnTextsAsTheListShowsThem)
{
    AddListed("Fresh", "fresh@host");
    FingerEntry* busy = AddListed("Busy", "busy@host", FE_GROUP_MAIL | FE_GROUP_2);
    busy->fingerCount = 42;
    const std::vector<std::vector<std::string>> rows = {
        {"Fresh", "fresh@host", "0", "Not Yet Fingered", "None"},
        {"Busy", "busy@host", "42", "Not Yet Fingered", "Finger Mail, Finger Group #2"},
    };
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < LIST_COLUMNS; ++column)
            EXPECT_EQ(ItemText(row, column), rows[row][column]) << "row " << row << ", column " << column;

    // Five names of 39 characters do not fit: the text is cut inside its buffer.
    std::string full;
    for (int g = 0; g < GROUP_COUNT; ++g) {
        snprintf(Settings.groupNames[g], GROUP_NAME_SIZE, "%s", std::string(39, static_cast<char>('A' + g)).c_str());
        full += (g ? ", " : "") + std::string(Settings.groupNames[g]);
    }
    busy->flags = FE_ALL_GROUPS;
    EXPECT_EQ(ItemText(1, 4), full.substr(0, 124) + "...");
    char tiny[8];
    memset(tiny, 'X', sizeof tiny);
    EntryColumnText(busy, 4, tiny, 3);
    EXPECT_EQ(std::string(tiny, 4), std::string("AA\0X", 4));
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
    for (int column = 0; column < LIST_COLUMNS; ++column) {
        Settings.options &= ~OptSortToggle(column);
        for (bool set : {true, false}) {
            NMLISTVIEW click = {};
            click.hdr = {list, IDC_ENTRY_LIST, static_cast<UINT>(LVN_COLUMNCLICK)};
            click.iItem = -1;
            click.iSubItem = column;
            SendMessageA(main, WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&click));
            EXPECT_EQ(Settings.sortColumn, column);
            EXPECT_EQ((Settings.options & OptSortToggle(column)) != 0, set);
            std::vector<FingerEntry*> expected = setOrder[column], rows;
            if (!set)
                std::reverse(expected.begin(), expected.end());
            RowCursor row;
            for (int i = FirstRow(&row); i >= 0; i = NextRow(&row))
                rows.push_back(reinterpret_cast<FingerEntry*>(row.lParam));
            EXPECT_EQ(rows, expected) << "column " << column << (set ? ", set" : ", clear");
        }
    }
}

TEST_F(EntryListViewTest, RowsKeepTheirImagesThroughFillingSortingAndRemoval)
{
    AddTestEntry("Apple", "a@h");
    AddTestEntry("", "quick@h", FE_TEMPORARY);
    AddTestEntry("Banana", "b@h");
    AddTestEntry("Cherry", "c@h");
    FillEntryListView();
    DumpEntryListView();
    RowCursor row;
    ASSERT_EQ(FirstRow(&row), 0);
    ASSERT_EQ(NextRow(&row), 1);
    ASSERT_EQ(RemoveEntryRow(&row), 0);
    DumpEntryListView();
    EXPECT_EQ(PaneText(), "3 List View Entries\n\n"
                          "List View Item #00. Image #02. Finger Entry: Cherry\n"
                          "List View Item #01. Image #01. Finger Entry: Banana\n"
                          "List View Item #02. Image #00. Finger Entry: Apple\n\n"
                          "2 List View Entries\n\n"
                          "List View Item #00. Image #01. Finger Entry: Cherry\n"
                          "List View Item #01. Image #00. Finger Entry: Apple\n\n");
    EXPECT_EQ(ImageList_GetImageCount(ListView_GetImageList(list, LVSIL_SMALL)), 2);
    EXPECT_EQ(ImageList_GetImageCount(ListView_GetImageList(list, LVSIL_NORMAL)), 2);
}

TEST_F(EntryListViewTest, MenuStatesFollowTheSelectionAndFocus)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_MAIN_MENU));
    ASSERT_NE(menu, nullptr);
    AddListed("One", "one@host");
    AddListed("Two", "two@host");
    // Properties, Set Groups, Delete, Select All: g grayed, e enabled.
    auto states = [&] {
        UpdateEntryMenu(main, menu);
        std::string text;
        for (UINT id : {IDM_PROPERTIES, IDM_SET_GROUPS, IDM_DELETE, IDM_SELECT_ALL})
            text += (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) ? 'g' : 'e';
        return text;
    };
    SetFocus(OutputWindow);
    EXPECT_EQ(states(), "gggg");
    Select(0);
    EXPECT_EQ(states(), "eeeg");
    SelectAllRows();
    EXPECT_EQ(states(), "geee");
    DestroyMenu(menu);
}

TEST_F(EntryListViewTest, ClicksActOnTheRowUnderThePointerOnly)
{
    AddListed("One", "one@host");
    FingerEntry* two = AddListed("Two", "two@host");
    PostAt(1, list, WM_LBUTTONDBLCLK, MK_LBUTTON);
    PostAt(-1, list, WM_LBUTTONDBLCLK, MK_LBUTTON);
    EXPECT_EQ(QueuedEntries(), std::vector<FingerEntry*>{two});

    Select(0);
    Select(1);
    PostAt(-1, main, WM_TEST_RIGHT_CLICK, 0);
    EXPECT_EQ(contextMenuShown, 0);
    PostAt(1, main, WM_TEST_RIGHT_CLICK, 0);
    EXPECT_EQ(contextMenuShown, 1);
    EXPECT_TRUE(propertiesGrayed);
    Select(0, false);
    PostAt(1, main, WM_TEST_RIGHT_CLICK, 0);
    EXPECT_EQ(contextMenuShown, 2);
    EXPECT_FALSE(propertiesGrayed);
}

TEST_F(EntryListViewTest, FingerQueuesOneJobPerSelectedRowInListOrder)
{
    FingerEntry* a = AddListed("A", "a@h");
    FingerEntry* b = AddListed("B", "b@h");
    FingerEntry* c = AddListed("C", "c@h");
    AddListed("D", "d@h");
    SortEntryListView();  // D, C, B, A
    FingerSelectedEntries(main);
    EXPECT_TRUE(QueuedEntries().empty());
    Select(1);
    Select(2);
    Select(3);
    FingerSelectedEntries(main);
    EXPECT_EQ(QueuedEntries(), (std::vector<FingerEntry*>{c, b, a}));

    // While jobs are being killed the queue refuses: one message, no more jobs.
    SetJobState(0xFFFFFFFFu, JS_KILLING);
    AnswerBoxes("", IDOK);
    FingerSelectedEntries(main);
    SetJobState(~static_cast<uint32_t>(JS_KILLING), 0);
    EXPECT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(QueuedEntries().size(), 3u);
}

TEST_F(EntryListViewTest, LastOutputOfTheSelectedEntries)
{
    ASSERT_EQ(SetUpPaths(), 0);
    const std::string folder = TempFolder() + "\\last output";
    CreateDirectoryA(folder.c_str(), nullptr);
    snprintf(MonitorFolder, sizeof MonitorFolder, "%s", folder.c_str());
    FingerEntry* a = AddListed("A", "a@h");
    AddListed("B", "b@h");
    FingerEntry* c = AddListed("C", "c@h");
    SortEntryListView();  // C, B, A

    AnswerBoxes("", IDOK);
    ViewLastOutput(main);
    JumpToLastOutput();
    Select(1);
    ViewLastOutput(main);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption + ": " + boxes[0].text, "View Last Output: No entries are selected.");
    EXPECT_EQ(boxes[1].caption + ": " + boxes[1].text, "Jump To Last Output: No entries are selected.");
    EXPECT_EQ(boxes[2].caption + ": " + boxes[2].text,
              "View Last Output: Couldn't view last output for the selected entries");

    WriteWholeFile(folder + "\\" + a->monitorFile, "answer of A\n");
    WriteWholeFile(folder + "\\" + c->monitorFile, "answer of C\n");
    SelectAllRows();
    ViewLastOutput(main);
    EXPECT_EQ(AnsweredBoxCount(), 3);
    EXPECT_EQ(PaneText(), "answer of C\nanswer of A\n");
    RemoveFolderTree(folder);
}

}
