// The real main window with its toolbar, status bar and tray icon; the
// command line and the countdown texts.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "entries/message_box.h"
#include "entries/registry.h"
#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "jobs/task_thread.h"
#include "resources/resource.h"
#include "shell/command_line.h"
#include "shell/job_reports.h"
#include "shell/main_window.h"
#include "shell/shell_handles.h"
#include "shell/startup.h"
#include "shell/status_bar.h"
#include "shell/toolbar.h"
#include "shell/tray_icon.h"
#include "support/program_fixture.h"
#include "support/registry_values.h"
#include "support/test_windows.h"
#include "ui/entry_list_view.h"

namespace {

constexpr int32_t NOW = 1700000000;

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
        SCOPED_TRACE(testing::Message() << c.bottom << " high, split " << c.split);
        const MainLayout layout = ComputeMainLayout(0, c.bottom, 30, 20, c.split);
        EXPECT_EQ(layout.outputHeight, c.outputHeight);
        EXPECT_EQ(layout.listHeight, c.listHeight);
        EXPECT_EQ(layout.listTop, 30);
        EXPECT_EQ(layout.outputTop, 30 + c.listHeight);
        EXPECT_EQ(layout.statusTop, c.bottom - 20);
    }
}

TEST(CommandLineTest, SwitchWordsSetTheirBitsAndUnknownWordsAreShownAsWritten)
{
    const std::string longest(255, 'w');
    const std::string mailAndLongest = "mail " + longest;
    const std::string overlong = "mail" + std::string(296, 'x') + " status";
    const struct {
        const char* line;
        uint32_t switches;  // when the line is accepted
        std::string shown;  // the unknown word shown, "" when accepted
    } cases[] = {
        {"MAIL status Group1 group2 group3 ExitWhenIdle", FE_ALL_GROUPS | SWITCH_EXIT_WHEN_IDLE, ""},
        {"   status     group3  ", FE_GROUP_STATUS | FE_GROUP_3, ""},
        {"     ", 0, ""},
        {nullptr, 0, ""},
        // Only the first unknown word is reported; tabs belong to the word.
        {"/mail bogus other", 0, "/mail"},
        {"mail\tstatus", 0, "mail\tstatus"},
        // 255 characters are shown whole; past that the first 255 and a mark.
        {mailAndLongest.c_str(), 0, longest},
        {overlong.c_str(), 0, overlong.substr(0, 255) + "..."},
    };
    HWND owner = CreateTestMainWindow();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "(null)");
        BoxAnswerer answerer("", IDOK);
        StartupSwitches = 0xDEADBEEF;
        const int result = ParseCommandLine(c.line);
        const std::vector<AnsweredBox> boxes = AnsweredBoxes();
        if (c.shown.empty()) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(StartupSwitches, c.switches);
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        EXPECT_EQ(result, 1);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Ombrelane Bad Switch");
        EXPECT_EQ(boxes[0].text, "Ombrelane doesn't know what \"" + c.shown + "\" means.");
        EXPECT_EQ(boxes[0].owner, owner);
    }
    DestroyWindow(owner);
    ShellHandles.mainWindow = nullptr;
    SetMessageOwner(nullptr);
}

TEST(Countdown, WaitsAreShownInTheLargestUnits)
{
    const std::pair<long, const char*> table[] = {
        {0, "0 seconds"},     {1, "1 second"},  {59, "59 seconds"},  {60, "1 minute"},
        {119, "1 minute"},    {120, "2 minutes"}, {3599, "59 minutes"}, {3600, "1 hour"},
        {3660, "1 hour, 1 minute"}, {7325, "2 hours, 2 minutes"}, {90000, "25 hours"},
    };
    char text[256];
    for (const auto& [seconds, wait] : table) {
        FormatCountdown(text, sizeof text, seconds, "Mail");
        EXPECT_EQ(std::string(text), std::string("Next auto finger in ") + wait + " (Mail)") << seconds;
    }
    // A short buffer is cut, never overrun.
    memset(text, 'z', sizeof text);
    FormatCountdown(text, 24, 7325, "A long description");
    EXPECT_EQ(std::string(text), "Next auto finger in 2 h");
    EXPECT_EQ(text[24], 'z');
}

// The program's main window with every child, default settings and a task
// thread producing simulated answers.
class MainWindowTest : public ::testing::Test {
protected:
    HWND window = nullptr;

    void SetUp() override
    {
        ShellHandles.instance = GetModuleHandleA(nullptr);
        ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
        FetchDefaultEntryFont();
        SetDefaultSettings();
        Settings.options &= ~OPT_NETWORK;
        InstallJobEventHandlers();
        static const bool registered = RegisterMainWindowClass() == 0;
        ASSERT_TRUE(registered);
        ShellHandles.accelerators = LoadAcceleratorsA(ShellHandles.instance, MAKEINTRESOURCEA(IDA_ACCELERATORS));
        ASSERT_EQ(CreateMainWindow(), 0);
        window = ShellHandles.mainWindow;
        ASSERT_EQ(StartTaskThread(window), 0);
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
        PumpMessagesFor(50);
    }

    void TearDown() override
    {
        StopAnsweringBoxes();
        SetScheduleClock(nullptr);
        SetJobState(~static_cast<uint32_t>(JS_PAUSED), 0);
        StopTestProgram();
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        SetMessageOwner(nullptr);
        EntryListView = nullptr;
        ShellHandles = {};
    }

    void Command(int id) { SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    static std::string PartText(int part)
    {
        char text[512] = "";
        SendMessageA(ShellHandles.statusBar, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
        return text;
    }

    static std::vector<int> ButtonIds()
    {
        std::vector<int> ids;
        const int count = static_cast<int>(SendMessageA(ShellHandles.toolbar, TB_BUTTONCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            TBBUTTON button = {};
            SendMessageA(ShellHandles.toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
            ids.push_back(button.idCommand);
        }
        return ids;
    }
};

TEST_F(MainWindowTest, EveryCommandOfTheMenusKeysToolbarAndTrayIsKnown)
{
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
    const int keyCount = CopyAcceleratorTableA(ShellHandles.accelerators, keys, 64);
    for (int i = 0; i < keyCount; ++i)
        ids.insert(keys[i].cmd);
    for (int id : ButtonIds())
        if (id)
            ids.insert(id);
    EXPECT_EQ(ids.size(), 63u);
    // Exit and Close would end the test. The dialogs, entry files, find,
    // printing and Escape have no row yet: 26 commands.
    std::vector<int> unknown;
    for (int id : ids) {
        if (id == IDM_EXIT || id == IDM_TRAY_CLOSE)
            continue;
        AnswerBoxes("", IDCANCEL);
        if (!RunCommand(window, id))
            unknown.push_back(id);
        SetJobState(~static_cast<uint32_t>(JS_PAUSED), 0);
    }
    EXPECT_EQ(unknown.size(), 26u) << "commands without a row: " << testing::PrintToString(unknown);
}

TEST_F(MainWindowTest, GroupCommandsOfMenuAndTrayQueueTheirGroup)
{
    const std::pair<int, int> commands[] = {
        {IDM_FINGER_MAIL, 0},   {IDM_TRAY_FINGER_MAIL, 0},   {IDM_FINGER_STATUS, 1}, {IDM_TRAY_FINGER_STATUS, 1},
        {IDM_FINGER_GROUP1, 2}, {IDM_TRAY_FINGER_GROUP1, 2}, {IDM_FINGER_GROUP2, 3}, {IDM_TRAY_FINGER_GROUP2, 3},
        {IDM_FINGER_GROUP3, 4}, {IDM_TRAY_FINGER_GROUP3, 4},
    };
    FingerEntry* members[GROUP_COUNT];
    for (int g = 0; g < GROUP_COUNT; ++g)
        members[g] = AddTestEntry("Member", "m@127.0.0.1", GroupMask(g));
    SetJobState(0xFFFFFFFFu, JS_PAUSED);
    uint32_t queued = 0;
    for (const auto& [id, group] : commands) {
        Command(id);
        ASSERT_EQ(GetJobCount(), ++queued) << id;
        EXPECT_EQ(JobQueue.jobTail->entry, members[group]) << id;
    }
}

TEST_F(MainWindowTest, StatusNamesTheWeightiestStateAndTipsAreCut)
{
    SetScheduleClock([] { return NOW; });
    auto scheduled = [](const char* description, int32_t dueIn) {
        AddTestEntry(description, "user@host", FE_AUTO_FINGER)->nextFinger = NOW + dueIn;
    };
    AddTestEntry("Not scheduled", "off@host")->nextFinger = NOW + 60;
    scheduled("Overdue", -1);
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Ombrelane Ready");
    EXPECT_EQ(PartText(2), "Jobs: none");
    scheduled("First", 300);
    scheduled("Second", 90);
    scheduled("Same wait later", 90);
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Next auto finger in 1 minute (Second)");

    PauseJobs();
    AddJob(JOB_FINGER, EntryList.head);
    RefreshStatusIfDirty();
    EXPECT_EQ(PartText(0), "All Jobs Paused");
    EXPECT_EQ(PartText(2), "Jobs: 1");
    // The task thread cannot purge while the list is held: the kill stays pending.
    LockJobList();
    KillAllJobs();
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Removing All Jobs");
    UnlockJobList();
    ASSERT_TRUE(PumpUntil([] { return !(GetJobState() & JS_KILLING); }, 5000)) << "the kill did not end";
    RequestShutdown();
    UpdateStatusBar();
    EXPECT_EQ(PartText(0), "Ombrelane is closing down (removing all jobs)");

    // The tips are cut to their buffers; a shorter one leaves nothing of a longer one behind.
    const std::string text(300, 't');
    SetStatusText(0, text.c_str());
    EXPECT_EQ(std::string(StatusTipCopy), text.substr(0, 255));
    EXPECT_EQ(std::string(FillTrayIconData(NIF_TIP)->szTip), text.substr(0, 63));
    SetStatusText(0, "short");
    const NOTIFYICONDATAA* record = FillTrayIconData(NIF_TIP);
    EXPECT_EQ(std::string(record->szTip, sizeof record->szTip), "short" + std::string(sizeof record->szTip - 5, '\0'));
}

TEST_F(MainWindowTest, MinimisingHidesWhenAskedAndTheTrayBringsItBack)
{
    Settings.options |= OPT_HIDE_WHEN_MINIMISED;
    ShowWindow(window, SW_MINIMIZE);
    PumpMessagesFor(50);
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageA(window, WM_USER, IDC_TRAY_ICON, WM_LBUTTONDOWN);
    PumpMessagesFor(50);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
}

TEST_F(MainWindowTest, UnknownSavedButtonGivesTheDefaultLayout)
{
    const std::vector<int> defaults = ButtonIds();
    Settings.toolbarCount = 3;
    Settings.SavedToolbarLayout[0] = IDM_NEW_ENTRY;
    Settings.SavedToolbarLayout[1] = IDM_FIRST_COMMAND - 1;
    Settings.SavedToolbarLayout[2] = IDM_FINGER;
    BoxAnswerer answerer("", IDOK);
    LoadToolbarButtons(ShellHandles.toolbar);
    const std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Unknown Toolbar Buttons Found");
    EXPECT_EQ(boxes[0].text, "Ombrelane has found unrecognised toolbar buttons in the registry.\n"
                             "It will reset them to the default ones. This is probably due to\n"
                             "running pre-release versions of Ombrelane, followed by the release\n"
                             "versions. Nothing to worry about!");
    EXPECT_EQ(ButtonIds(), defaults);
}

TEST_F(MainWindowTest, FullToolbarComesBackWholeAfterARestart)
{
    DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
    std::vector<int> ids = ButtonIds();
    TBBUTTON button = {};
    button.idCommand = IDM_FINGER;
    button.fsState = TBSTATE_ENABLED;
    const std::vector<TBBUTTON> more(TOOLBAR_MAX - ids.size(), button);
    SendMessageA(ShellHandles.toolbar, TB_ADDBUTTONSA, more.size(), reinterpret_cast<LPARAM>(more.data()));
    ids.resize(TOOLBAR_MAX, IDM_FINGER);
    SaveToolbarButtons();
    Settings.saveAtExit = 1;
    RegistryErrors errors;
    SaveSettings(errors);
    SetDefaultSettings();
    EXPECT_EQ(LoadSettings(errors), 0);
    EXPECT_TRUE(errors.empty());
    LoadToolbarButtons(ShellHandles.toolbar);
    EXPECT_EQ(ButtonIds(), ids);
    DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
}

}
