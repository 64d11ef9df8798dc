// The real main window: layout, commands from menus, keys, toolbar and tray,
// the wheel, closing and minimising.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include <set>
#include <string>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "shell/main_window.h"
#include "shell/shell_handles.h"
#include "shell/startup.h"
#include "shell/toolbar.h"
#include "shell/tray_icon.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"
#include "ui/entry_list_view.h"

namespace {

TEST(MainLayout, SplitsTheAvailableHeightIntoThirteenths)
{
    // 30 toolbar + 20 status bar: 520 available in a 570-high client, unit
    // 40; in 580, 530 available and the remainder goes to the list; a tiny
    // window gives the list everything.
    const struct {
        int bottom, split, outputHeight, listHeight;
    } cases[] = {
        {570, 0, 440, 80}, {570, 4, 280, 240}, {570, 9, 80, 440}, {580, 0, 440, 90}, {62, 4, 0, 12},
    };
    for (const auto& c : cases) {
        const MainLayout layout = ComputeMainLayout(0, c.bottom, 30, 20, c.split);
        EXPECT_EQ(layout.outputHeight, c.outputHeight) << c.bottom << " " << c.split;
        EXPECT_EQ(layout.listHeight, c.listHeight) << c.bottom << " " << c.split;
        EXPECT_EQ(layout.listTop, 30);
        EXPECT_EQ(layout.outputTop, 30 + c.listHeight);
        EXPECT_EQ(layout.statusTop, c.bottom - 20);
    }
}

// The program's main window with every child, default settings and a task
// thread producing simulated answers.
class MainWindowTest : public ::testing::Test {
protected:
    HWND window = nullptr;

    void SetUp() override
    {
        ShellHandles = {};
        ShellHandles.instance = GetModuleHandleA(nullptr);
        ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
        ShellHandles.mainWindow = GetDesktopWindow();
        FetchDefaultEntryFont();
        SetDefaultSettings();
        Settings.options &= ~OPT_NETWORK;
        static bool registered = RegisterMainWindowClass();
        ASSERT_TRUE(registered);
        ShellHandles.accelerators = LoadAcceleratorsA(ShellHandles.instance, MAKEINTRESOURCEA(IDA_ACCELERATORS));
    }

    void Open()
    {
        ASSERT_TRUE(CreateMainWindow());
        window = ShellHandles.mainWindow;
        ASSERT_EQ(StartTaskThread(window), 0);
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
        PumpMessagesFor(50);
    }

    void TearDown() override
    {
        if (JobQueue.JobListMutex) {
            SetJobState(~static_cast<uint32_t>(JS_PAUSED), JS_CLOSING);
            PumpUntil([] { return (JobQueue.jobState & JS_THREAD_ENDED) != 0; }, 30000);
            ReleaseJobMutexes();
        }
        StopAnsweringBoxes();
        JobQueue = {};
        if (window && IsWindow(window))
            DestroyWindow(window);
        PumpMessagesFor(20);
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        FreeAllEntries();
        OutputWindow = nullptr;
        if (OutputMutex)
            CloseHandle(OutputMutex);
        OutputMutex = nullptr;
        ShellHandles = {};
    }

    void Command(int id) { SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    int ListView() { return static_cast<int>(GetWindowLongA(ShellHandles.entryListView, GWL_STYLE) & LVS_TYPEMASK); }
};

TEST_F(MainWindowTest, CreationBuildsEveryChildAndTheMenus)
{
    Open();
    EXPECT_TRUE(IsWindow(ShellHandles.toolbar));
    EXPECT_TRUE(IsWindow(ShellHandles.statusBar));
    EXPECT_TRUE(IsWindow(ShellHandles.entryListView));
    EXPECT_TRUE(IsWindow(OutputWindow));
    EXPECT_EQ(GetDlgCtrlID(ShellHandles.entryListView), IDC_ENTRY_LIST);
    EXPECT_EQ(GetDlgCtrlID(ShellHandles.statusBar), IDC_STATUS_BAR);
    EXPECT_NE(ShellHandles.entryContextMenu, nullptr);
    EXPECT_NE(ShellHandles.trayMenu, nullptr);
    EXPECT_EQ(GetMenuItemID(ShellHandles.outputMenu, 0), static_cast<UINT>(IDM_OUTPUT_FIND));
    EXPECT_EQ(GetMenuItemID(ShellHandles.entryContextMenu, 0), static_cast<UINT>(IDM_CTX_FINGER));
    EXPECT_EQ(GetMenuItemID(ShellHandles.trayMenu, 0), static_cast<UINT>(IDM_TRAY_NEW_ENTRY));
}

TEST_F(MainWindowTest, ChildrenAreStackedByTheLayout)
{
    Settings.DisplaySplit = 9;
    Open();
    SetWindowPos(window, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(window, &client);
    MainLayout expected =
        ComputeMainLayout(client.top, client.bottom, ToolbarHeight, StatusBarHeight, Settings.DisplaySplit);
    auto childRect = [this](HWND child) {
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    RECT list = childRect(ShellHandles.entryListView);
    RECT output = childRect(OutputWindow);
    EXPECT_EQ(list.top, expected.listTop);
    EXPECT_EQ(list.bottom - list.top, expected.listHeight);
    EXPECT_EQ(output.top, expected.outputTop);
    EXPECT_EQ(output.bottom - output.top, expected.outputHeight);
    EXPECT_EQ(output.right - output.left, client.right);

    int edges[3] = {};
    SendMessageA(ShellHandles.statusBar, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(edges));
    EXPECT_EQ(edges[0], 50 * (client.right / 100));
    EXPECT_EQ(edges[1], 90 * (client.right / 100));
}

TEST_F(MainWindowTest, ViewCommandsSwitchTheListStyle)
{
    Open();
    Command(IDM_VIEW_LARGE_ICONS);
    EXPECT_EQ(ListView(), LVS_ICON);
    EXPECT_EQ(Settings.listStyle, static_cast<uint32_t>(LVS_ICON));
    Command(IDM_VIEW_SMALL_ICONS);
    EXPECT_EQ(ListView(), LVS_SMALLICON);
    Command(IDM_VIEW_LIST);
    EXPECT_EQ(ListView(), LVS_LIST);
    Command(IDM_VIEW_DETAILS);
    EXPECT_EQ(ListView(), LVS_REPORT);
}

TEST_F(MainWindowTest, JobCommandsFromMenuAndTray)
{
    Open();
    Command(IDM_PAUSE_JOBS);
    EXPECT_TRUE(JobQueue.jobState & JS_PAUSED);
    Command(IDM_TRAY_PAUSE_JOBS);
    EXPECT_FALSE(JobQueue.jobState & JS_PAUSED);

    Command(IDM_PAUSE_JOBS);
    FingerEntry* entry = AddTestEntry("Paused", "user@127.0.0.1");
    AddJob(JOB_FINGER, entry);
    AddJob(JOB_FINGER, entry);
    EXPECT_EQ(GetJobCount(), 2u);
    Command(IDM_KILL_JOBS);
    Command(IDM_PAUSE_JOBS);
    EXPECT_TRUE(PumpUntil([] { return GetJobCount() == 0; }, 10000));

    Command(IDM_VIEW_JOBS);
    EXPECT_NE(PaneText().find("Job"), std::string::npos);
}

TEST_F(MainWindowTest, GroupCommandsQueueTheirMembers)
{
    AddTestEntry("Mail one", "a@127.0.0.1", FE_GROUP_MAIL);
    AddTestEntry("Group two", "b@127.0.0.1", FE_GROUP_2);
    AddTestEntry("Both", "c@127.0.0.1", FE_GROUP_MAIL | FE_GROUP_2);
    Open();
    SetJobState(0xFFFFFFFFu, JS_PAUSED);
    Command(IDM_FINGER_MAIL);
    EXPECT_EQ(GetJobCount(), 2u);
    Command(IDM_TRAY_FINGER_GROUP2);
    EXPECT_EQ(GetJobCount(), 4u);

    AnswerBoxes("Start Group Finger", IDOK);
    Command(IDM_FINGER_GROUP3);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("\"Finger Group #3\""), std::string::npos);
    EXPECT_EQ(GetJobCount(), 4u);
}

TEST_F(MainWindowTest, FingerCommandsQueueTheSelectedEntries)
{
    AddTestEntry("First", "a@127.0.0.1");
    AddTestEntry("Second", "b@127.0.0.1");
    Open();
    SetJobState(0xFFFFFFFFu, JS_PAUSED);
    // Select All selects only while the list has the focus.
    SetFocus(OutputWindow);
    Command(IDM_SELECT_ALL);
    EXPECT_EQ(CountSelectedRows(), 0);
    SetFocus(ShellHandles.entryListView);
    Command(IDM_SELECT_ALL);
    EXPECT_EQ(CountSelectedRows(), 2);
    Command(IDM_FINGER);
    EXPECT_EQ(GetJobCount(), 2u);
    Command(IDM_CTX_FINGER);
    EXPECT_EQ(GetJobCount(), 4u);
}

TEST_F(MainWindowTest, OutputCommandsReachThePane)
{
    Open();
    AppendText("some text\n");
    Command(IDM_OUTPUT_CLEAR);
    EXPECT_EQ(PaneText(), "");

    AddTestEntry("Dumped", "a@127.0.0.1");
    RowCursor row;
    EXPECT_EQ(FirstRow(&row), -1);
    InsertEntryRow(EntryList.head);
    Command(IDM_DUMP_LIST_VIEW);
    EXPECT_NE(PaneText().find("1 List View Entries"), std::string::npos);
}

TEST_F(MainWindowTest, CommandsThatAnswerWithABox)
{
    Open();
    AnswerBoxes("", {IDOK, IDOK, IDCANCEL, IDNO});
    Command(IDM_VIEW_LAST_OUTPUT);
    Command(IDM_CTX_JUMP_TO_OUTPUT);
    Command(IDM_WINSOCK_INFO);
    Command(IDM_CLEAR_LOG);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].caption, "View Last Output");
    EXPECT_EQ(boxes[1].caption, "Jump To Last Output");
    EXPECT_EQ(boxes[1].text, "No entries are selected.");
    EXPECT_EQ(boxes[2].caption, "Winsock Information");
    EXPECT_EQ(boxes[3].caption, "Clear Log");
}

TEST_F(MainWindowTest, EveryCommandOfTheMenusKeysToolbarAndTrayIsKnown)
{
    Open();
    // Commands whose handlers arrive with the dialogs, entry files, find and printing.
    const std::set<int> later = {IDM_SAVE_ENTRIES,  IDM_SAVE_SELECTED,  IDM_LOAD_ENTRIES,   IDM_MERGE_ENTRIES,
                                 IDM_NEW_ENTRY,     IDM_TRAY_NEW_ENTRY, IDM_SET_GROUPS,     IDM_CTX_SET_GROUPS,
                                 IDM_DELETE,        IDM_CTX_DELETE,     IDM_PROPERTIES,     IDM_CTX_PROPERTIES,
                                 IDM_QUICK_FINGER,  IDM_TRAY_QUICK_FINGER, IDM_WHOIS,       IDM_TRAY_QUICK_WHOIS,
                                 IDM_CLEAR_FINGER_COUNT, IDM_OPTIONS,   IDM_TRAY_OPTIONS,   IDM_OUTPUT_FIND,
                                 IDM_OUTPUT_FIND_AGAIN, IDM_OUTPUT_PRINT, IDM_HELP,         IDM_WHATS_NEW,
                                 IDM_ABOUT,         IDM_ESCAPE};
    std::set<int> ids;
    std::vector<HMENU> menus = {GetMenu(window), ShellHandles.entryContextMenu, ShellHandles.trayMenu};
    for (size_t m = 0; m < menus.size(); ++m) {
        for (int i = 0; i < GetMenuItemCount(menus[m]); ++i) {
            if (HMENU popup = GetSubMenu(menus[m], i))
                menus.push_back(popup);
            else if (GetMenuItemID(menus[m], i) != 0)
                ids.insert(static_cast<int>(GetMenuItemID(menus[m], i)));
        }
    }
    ACCEL keys[64];
    int keyCount = CopyAcceleratorTableA(ShellHandles.accelerators, keys, 64);
    for (int i = 0; i < keyCount; ++i)
        ids.insert(keys[i].cmd);
    int buttons = static_cast<int>(SendMessageA(ShellHandles.toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < buttons; ++i) {
        TBBUTTON button = {};
        SendMessageA(ShellHandles.toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        if (button.idCommand)
            ids.insert(button.idCommand);
    }
    EXPECT_EQ(ids.size(), 63u);
    for (int id : ids) {
        EXPECT_GE(id, IDM_FIRST_COMMAND);
        EXPECT_LE(id, IDM_LAST_COMMAND);
        if (later.count(id) || id == IDM_EXIT || id == IDM_TRAY_CLOSE)
            continue;
        // A command with a row answers any box it opens; none may be unknown.
        AnswerBoxes("", IDCANCEL);
        EXPECT_TRUE(RunCommand(window, id)) << id;
        SetJobState(~static_cast<uint32_t>(JS_PAUSED), 0);
    }
}

TEST_F(MainWindowTest, AcceleratorsReachTheCommandsFromAnyChild)
{
    AddTestEntry("Keyed", "a@127.0.0.1");
    Open();
    SetJobState(0xFFFFFFFFu, JS_PAUSED);
    SetFocus(ShellHandles.entryListView);
    ListView_SetItemState(ShellHandles.entryListView, 0, LVIS_SELECTED, LVIS_SELECTED);
    SetFocus(OutputWindow);
    MSG key = {};
    key.hwnd = OutputWindow;
    key.message = WM_KEYDOWN;
    key.wParam = VK_RETURN;
    EXPECT_TRUE(TranslateAcceleratorA(window, ShellHandles.accelerators, &key));
    EXPECT_EQ(GetJobCount(), 1u);

    key.wParam = VK_ESCAPE;
    EXPECT_TRUE(TranslateAcceleratorA(window, ShellHandles.accelerators, &key));
    EXPECT_EQ(GetJobCount(), 1u);
}

TEST_F(MainWindowTest, WheelNotchScrollsTheOutputPaneByTheWheelLines)
{
    Open();
    RegisterWheelMessages();
    ASSERT_GT(WheelScrollLines, 0);
    for (int i = 0; i < 200; ++i)
        AppendText("line\n");
    SendMessageA(OutputWindow, EM_SETSEL, 0, 0);
    SendMessageA(OutputWindow, EM_SCROLLCARET, 0, 0);
    int before = static_cast<int>(SendMessageA(OutputWindow, EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageA(window, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    int after = static_cast<int>(SendMessageA(OutputWindow, EM_GETFIRSTVISIBLELINE, 0, 0));
    EXPECT_EQ(after - before, WheelScrollLines);
    SendMessageA(window, WheelMessage, static_cast<WPARAM>(WHEEL_DELTA), 0);
    EXPECT_EQ(static_cast<int>(SendMessageA(OutputWindow, EM_GETFIRSTVISIBLELINE, 0, 0)), before);
}

TEST_F(MainWindowTest, ClosingWithJobsAsksFirst)
{
    Open();
    SetJobState(0xFFFFFFFFu, JS_PAUSED);
    AddJob(JOB_FINGER, AddTestEntry("Waiting", "a@127.0.0.1"));

    AnswerBoxes("Close Ombrelane", {IDNO, IDYES});
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(AnsweredBoxCount(), 1);
    EXPECT_FALSE(JobQueue.jobState & JS_CLOSING);
    EXPECT_TRUE(IsWindow(window));

    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(AnsweredBoxCount(), 2);
    EXPECT_TRUE(JobQueue.jobState & JS_CLOSING);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(MainWindowTest, ExitDoesNotAskAndSavesTheWindowState)
{
    Open();
    SetJobState(0xFFFFFFFFu, JS_PAUSED);
    AddJob(JOB_FINGER, AddTestEntry("Waiting", "a@127.0.0.1"));
    SetWindowPos(window, nullptr, 10, 20, 500, 400, SWP_NOZORDER);
    AnswerBoxes("", IDNO);
    Command(IDM_EXIT);
    EXPECT_EQ(AnsweredBoxCount(), 0);
    EXPECT_EQ(Settings.windowRect.left, 10);
    EXPECT_EQ(Settings.windowRect.right, 510);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(MainWindowTest, MinimisingHidesWhenAskedAndTheTrayBringsItBack)
{
    Settings.options |= OPT_HIDE_WHEN_MINIMISED;
    Open();
    ShowWindow(window, SW_MINIMIZE);
    PumpMessagesFor(50);
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageA(window, WM_USER, IDC_TRAY_ICON, WM_LBUTTONDOWN);
    PumpMessagesFor(50);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
}

TEST_F(MainWindowTest, SavedPlacementIsUsedOnlyWhenPartlyOnScreen)
{
    Settings.options |= OPT_REMEMBER_POSITION;
    Settings.windowRect = {-5000, -5000, -4000, -4200};
    Open();
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_NE(rect.left, -5000);
    DestroyWindow(window);
    PumpMessagesFor(10);

    // Only the right edge lies on the screen: the rectangle is used unchanged.
    Settings.windowRect = {-300, -5000, 100, -4600};
    ShellHandles.toolbar = ShellHandles.statusBar = ShellHandles.entryListView = nullptr;
    ASSERT_TRUE(CreateMainWindow());
    window = ShellHandles.mainWindow;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, -300);
    EXPECT_EQ(rect.right, 100);
}

TEST_F(MainWindowTest, TaskbarRestartAddsTheIconAgain)
{
    Open();
    TrayAdd();
    if (!TrayIconAdded())
        GTEST_SKIP() << "no notification area on this display";
    // A restarted taskbar has forgotten the icon.
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = IDC_TRAY_ICON;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
    SendMessageA(window, TaskbarCreatedMessage, 0, 0);
    EXPECT_TRUE(TrayIconAdded());
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &data)) << "the icon is in the notification area again";
    TrayRemove();
    EXPECT_FALSE(TrayIconAdded());
}

}
