// The real main window: command line, command table, status bar, tray tip, toolbar, entry list and its commands.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "output/answer_buffers.h"
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
#include "support/test_files.h"
#include "support/test_windows.h"
#include "output/change_notification.h"
#include "ui/entry_commands.h"
#include "ui/entry_list_view.h"

namespace {

constexpr int32_t NOW = 1700000000;

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
}

// The first letters of the queued entries' descriptions, oldest job first.
std::string QueuedInitials()
{
    std::string initials;
    for (const Job* job = JobQueue.jobHead; job; job = job->nextJob)
        initials += job->entry->description[0];
    return initials;
}

// The initials of the rows, top to bottom.
std::string RowInitials()
{
    std::string initials;
    RowCursor row;
    for (int i = FirstRow(&row); i >= 0; i = NextRow(&row))
        initials += reinterpret_cast<FingerEntry*>(row.lParam)->description[0];
    return initials;
}

// The main window with every child, default settings and a fresh monitor folder; boxes get OK; jobs stay queued.
struct MainWindowTest : ::testing::Test {
    const std::string folder = TempFolder() + "\\monitor";

    void SetUp() override
    {
        ShellHandles.instance = GetModuleHandleA(nullptr);
        ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
        FetchDefaultEntryFont();
        SetDefaultSettings();
        InstallJobEventHandlers();
        static const bool registered = RegisterMainWindowClass() == 0;
        ASSERT_TRUE(registered);
        ASSERT_EQ(CreateMainWindow(), 0);
        ShowWindow(ShellHandles.mainWindow, SW_SHOWNORMAL);
        ASSERT_EQ(SetUpPaths(), 0);
        CreateDirectoryA(folder.c_str(), nullptr);
        snprintf(MonitorFolder, sizeof MonitorFolder, "%s", folder.c_str());
        AnswerBoxes("", IDOK);
    }

    void TearDown() override
    {
        StopAnsweringBoxes();
        SetScheduleClock(nullptr);
        StopTestProgram();
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        ShellHandles = {};
        RemoveFolderTree(folder);
    }
};

TEST_F(MainWindowTest, SwitchWordsSetTheirBitsAndTheFirstUnknownWordIsShownAsWritten)
{
    const std::string overlong = "mail" + std::string(296, 'x') + " status";
    // The switches of an accepted line, or the unknown word shown for a refused one.
    const std::tuple<std::string, uint32_t, std::string> cases[] = {
        {"MAIL status Group1 group2 group3 ExitWhenIdle", FE_ALL_GROUPS | SWITCH_EXIT_WHEN_IDLE, ""},
        {"   status     group3  ", FE_GROUP_STATUS | FE_GROUP_3, ""},
        // Tabs belong to the word; 255 characters are shown whole, past that the first 255 and a mark.
        {"mail\tstatus bogus", 0, "mail\tstatus"},
        {"mail " + std::string(255, 'w'), 0, std::string(255, 'w')},
        {overlong, 0, overlong.substr(0, 255) + "..."},
    };
    for (const auto& [line, switches, shown] : cases) {
        SCOPED_TRACE(line);
        AnswerBoxes("", IDOK);
        StartupSwitches = 0xDEADBEEF;
        EXPECT_EQ(ParseCommandLine(line.c_str()), shown.empty() ? 0 : 1);
        if (shown.empty())
            EXPECT_EQ(StartupSwitches, switches);
        else
            EXPECT_EQ(BoxTexts(), "Ombrelane Bad Switch: Ombrelane doesn't know what \"" + shown + "\" means.\n");
    }
}

TEST_F(MainWindowTest, EveryCommandIsKnownAndGroupCommandsQueueTheirGroup)
{
    for (int g = 0; g < GROUP_COUNT; ++g)
        AddTestEntry(std::to_string(g).c_str(), "m@127.0.0.1", GroupMask(g));
    std::set<int> ids;
    std::vector<HMENU> menus = {GetMenu(ShellHandles.mainWindow), ShellHandles.entryContextMenu, ShellHandles.trayMenu};
    for (size_t m = 0; m < menus.size(); ++m) {
        for (int i = 0; i < GetMenuItemCount(menus[m]); ++i) {
            if (HMENU popup = GetSubMenu(menus[m], i))
                menus.push_back(popup);
            else if (GetMenuItemID(menus[m], i) != 0)
                ids.insert(static_cast<int>(GetMenuItemID(menus[m], i)));
        }
    }
    ACCEL keys[64];
    HACCEL accelerators = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDA_ACCELERATORS));
    for (int i = 0; i < CopyAcceleratorTableA(accelerators, keys, 64); ++i)
        ids.insert(keys[i].cmd);
    for (int i = 0; i < SendMessageA(ShellHandles.toolbar, TB_BUTTONCOUNT, 0, 0); ++i) {
        TBBUTTON button = {};
        SendMessageA(ShellHandles.toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        if (button.idCommand)
            ids.insert(button.idCommand);
    }
    EXPECT_EQ(ids.size(), 63u);
    // Exit and Close would end the test; only Escape has no row (it does nothing): 1.
    std::vector<int> unknown;
    for (int id : ids) {
        AnswerBoxes("", IDCANCEL);
        if (id != IDM_EXIT && id != IDM_TRAY_CLOSE && !RunCommand(ShellHandles.mainWindow, id))
            unknown.push_back(id);
        SetJobState(0, 0);
    }
    EXPECT_EQ(unknown.size(), 1u) << "commands without a row: " << testing::PrintToString(unknown);
    // In id order: the menu's Mail, Status, groups 1-3; the tray's Mail, 2, 1, 3, Status.
    EXPECT_EQ(QueuedInitials(), "0123403241");
    // A saved layout with an unknown button gives the default one.
    Settings.toolbarCount = 3;
    Settings.SavedToolbarLayout[0] = IDM_NEW_ENTRY;
    Settings.SavedToolbarLayout[1] = IDM_FIRST_COMMAND - 1;
    AnswerBoxes("", IDOK);
    LoadToolbarButtons(ShellHandles.toolbar);
    ASSERT_EQ(AnsweredBoxes().size(), 1u);
    EXPECT_EQ(AnsweredBoxes()[0].caption, "Unknown Toolbar Buttons Found");
    EXPECT_EQ(SendMessageA(ShellHandles.toolbar, TB_BUTTONCOUNT, 0, 0), DEFAULT_TOOLBAR_SIZE);
}

TEST_F(MainWindowTest, StatusNamesTheWeightiestStateAndTheTrayTipIsCut)
{
    auto status = [] {
        char text[2][512] = {};
        for (int part : {0, 1})
            SendMessageA(ShellHandles.statusBar, SB_GETTEXTA, part * 2, reinterpret_cast<LPARAM>(text[part]));
        return std::string(text[0]) + " | " + text[1];
    };
    SetScheduleClock([] { return NOW; });
    UpdateStatusBar();
    EXPECT_EQ(status(), "Ombrelane Ready | Jobs: none");
    // The nearest wait of an entry that is scheduled and not overdue; the first of equal waits.
    AddTestEntry("Not scheduled", "off@host")->nextFinger = NOW + 60;
    for (const auto& [description, dueIn] : {std::pair<const char*, int>{"Overdue", -1}, {"First", 300},
                                             {"Second", 90}, {"Same wait later", 90}})
        AddTestEntry(description, "user@host", FE_AUTO_FINGER)->nextFinger = NOW + dueIn;
    UpdateStatusBar();
    EXPECT_EQ(status(), "Next auto finger in 1 minute (Second) | Jobs: none");
    PauseJobs();
    AddJob(JOB_FINGER, EntryList.head);
    RefreshStatusIfDirty();
    EXPECT_EQ(status(), "All Jobs Paused | Jobs: 1");
    KillAllJobs();
    RefreshStatusIfDirty();
    EXPECT_EQ(status(), "Removing All Jobs | Jobs: 1");
    RequestShutdown();
    UpdateStatusBar();
    EXPECT_EQ(status(), "Ombrelane is closing down (removing all jobs) | Jobs: 1");
    // The shell reads a tip of 63 characters and its NUL.
    SetStatusText(0, std::string(300, 't').c_str());
    EXPECT_EQ(std::string(FillTrayIconData(NIF_TIP)->szTip), std::string(63, 't'));
}

TEST_F(MainWindowTest, ColumnTextsAndHeaderClicksSortingEveryColumnBothWays)
{
    const char* descriptions[] = {"Bravo", "alpha", "Charlie", "delta"};
    const char* addresses[] = {"zulu@h", "Yankee@h", "xray@h", "Whiskey@h"};
    const uint32_t groups[] = {FE_GROUP_MAIL, FE_GROUP_STATUS | FE_GROUP_3, 0, FE_GROUP_1};
    const uint32_t counts[] = {5, 10, 1, 7};
    const int32_t times[] = {3000, 1000, 2000, 0};
    for (int i = 0; i < 4; ++i) {
        FingerEntry* entry = AddTestEntry(descriptions[i], addresses[i], groups[i]);
        ASSERT_EQ(InsertEntryRow(entry), 0);
        entry->fingerCount = counts[i];
        entry->lastFingered = times[i];
    }
    std::string texts;
    char text[128] = "";
    for (int column = 0; column < LIST_COLUMNS; ++column) {
        ListView_GetItemText(EntryListView, 3, column, text, sizeof text);
        texts += text + std::string("|");
    }
    EXPECT_EQ(texts, "delta|Whiskey@h|7|Not Yet Fingered|Finger Group #1|");
    // Five names of 39 characters do not fit: the text is cut inside its buffer.
    std::string names;
    for (int g = 0; g < GROUP_COUNT; ++g) {
        snprintf(Settings.groupNames[g], GROUP_NAME_SIZE, "%s", std::string(39, static_cast<char>('A' + g)).c_str());
        names += (g ? ", " : "") + std::string(Settings.groupNames[g]);
    }
    EntryColumnText(AddTestEntry("All", "all@h", FE_ALL_GROUPS), 4, text, sizeof text);
    EXPECT_EQ(std::string(text), names.substr(0, 124) + "...");
    // With the column's direction bit set: texts ascending, case ignored (the initials are B, a, C and d);
    // counts, times and groups (Mail, Status, group 1, none) largest first.
    const std::string setOrder[LIST_COLUMNS] = {"aBCd", "dCaB", "adBC", "BCad", "BadC"};
    for (int column = 0; column < LIST_COLUMNS; ++column) {
        for (bool set : {true, false}) {
            NMLISTVIEW click = {};
            click.hdr = {EntryListView, IDC_ENTRY_LIST, static_cast<UINT>(LVN_COLUMNCLICK)};
            click.iSubItem = column;
            SendMessageA(ShellHandles.mainWindow, WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&click));
            EXPECT_EQ(Settings.sortColumn, column);
            const std::string& order = setOrder[column];
            EXPECT_EQ(RowInitials(), set ? order : std::string(order.rbegin(), order.rend()))
                << "column " << column << (set ? ", set" : ", clear");
        }
    }
}

// The initials of the entries that are not temporary, sorted.
std::string ListedInitials()
{
    std::string initials;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (!(entry->flags & FE_TEMPORARY))
            initials += entry->description[0];
    }
    std::sort(initials.begin(), initials.end());
    return initials;
}

// Commands take the selected rows in list order; a quick finger gets no row; the rows keep their images through
// filling, sorting and removal.
TEST_F(MainWindowTest, EntryCommandsAskFirstAndDeleteStopsAtARunningJob)
{
    for (int id : {IDM_PROPERTIES, IDM_CLEAR_FINGER_COUNT, IDM_DELETE, IDM_FINGER, IDM_SET_GROUPS, IDM_VIEW_LAST_OUTPUT})
        RunCommand(ShellHandles.mainWindow, id);
    std::map<char, FingerEntry*> entries;
    for (const char* description : {"a", "b", "c", "d", "e", "f"}) {
        entries[description[0]] = AddTestEntry(description, "x@h");
        entries[description[0]]->fingerCount = 9;
        if (description[0] != 'b')  // b has no answer yet
            WriteWholeFile(folder + "\\" + entries[description[0]]->monitorFile, description + std::string("\n"));
    }
    const std::string eMonitorFile = entries['e']->monitorFile;
    AddTestEntry("Quick", "quick@h", FE_TEMPORARY);
    FillEntryListView();  // f e d c b a
    // Going with its rows made again, an entry takes its open notification with it.
    ShowChangeNotification(entries['f']);
    FingerEntry* refused = nullptr;
    EXPECT_EQ(DeleteEntries({entries['f']}, &refused), 1);
    EXPECT_EQ(OpenNotificationCount, 0u);
    EXPECT_EQ(RowInitials(), "edcba");
    ListView_SetItemState(EntryListView, 0, LVIS_SELECTED, LVIS_SELECTED);
    RunCommand(ShellHandles.mainWindow, IDM_CLEAR_FINGER_COUNT);
    EXPECT_EQ(BoxTexts(), "Properties: There's no item selected\nClear Finger Count: No Finger Entries Selected\n"
                          "Delete: There are no items selected to delete!\nView Last Output: No entries are selected.\n"
                          "Clear Finger Count: Are you sure you want to clear the finger count of \"e\" ?\n");
    SelectAllRows();
    AnswerBoxes("Delete", IDOK);  // the other captions are cancelled
    RunCommand(ShellHandles.mainWindow, IDM_CLEAR_FINGER_COUNT);
    EXPECT_EQ(entries['e']->fingerCount + entries['d']->fingerCount, 9u);
    AddJob(JOB_FINGER, entries['e']);
    AddJob(JOB_FINGER, entries['c']);
    JobQueue.jobTail->jobFlags |= JOB_ACTIVE;
    RunCommand(ShellHandles.mainWindow, IDM_DELETE);
    EXPECT_EQ(RowInitials(), "cba");
    EXPECT_EQ(QueuedInitials(), "c");
    EXPECT_EQ(ListedInitials(), "abc");
    EXPECT_FALSE(IsFile(folder + "\\" + eMonitorFile));
    EXPECT_TRUE(IsFile(folder + "\\" + entries['c']->monitorFile));
    SelectAllRows();
    FingerSelectedEntries(ShellHandles.mainWindow);  // c, b and a
    EXPECT_EQ(QueuedInitials(), "ccba");
    ViewLastOutput(ShellHandles.mainWindow);
    ListView_SetItemState(EntryListView, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(EntryListView, 1, LVIS_SELECTED, LVIS_SELECTED);
    ViewLastOutput(ShellHandles.mainWindow);
    EXPECT_EQ(BoxTexts(), "Clear Finger Count: Are you sure you want to clear the finger count of these 5 "
                          "finger entries ?\n"
                          "Delete: Are you sure you want to delete these 5 finger entries ?\n"
                          "Delete Entry: Ombrelane cannot delete \"c\" as it is\ncurrently being processed.\n"
                          "View Last Output: Couldn't view last output for the selected entries\n");
    DumpEntryListView();
    EXPECT_EQ(PaneText(), "c\na\n3 List View Entries\n\n"
                          "List View Item #00. Image #02. Finger Entry: c\n"
                          "List View Item #01. Image #01. Finger Entry: b\n"
                          "List View Item #02. Image #00. Finger Entry: a\n\n");
    EXPECT_EQ(ImageList_GetImageCount(ListView_GetImageList(EntryListView, LVSIL_SMALL)), 3);
}

// The header and records of a saved entries file, as the layout gives them; a count below 0 counts the records.
std::string EntriesFile(const std::vector<const FingerEntry*>& entries, int32_t count = -1)
{
    std::string file = "Ombrelane Entries";
    for (uint32_t word : {656u, static_cast<uint32_t>(count < 0 ? static_cast<int32_t>(entries.size()) : count)})
        file += std::string{char(word), char(word >> 8), char(word >> 16), char(word >> 24)};
    for (const FingerEntry* entry : entries) {
        unsigned char image[ENTRY_RECORD_SIZE];
        EntryToRecordImage(*entry, image);
        file.append(reinterpret_cast<char*>(image), sizeof image);
    }
    return file;
}

TEST_F(MainWindowTest, SavedFilesAreExactAndLoadingChecksTheWholeFileBeforeAnyChange)
{
    const std::string path = TempFolder() + "\\saved.oen";
    snprintf(Settings.entriesPath, sizeof Settings.entriesPath, "%s", path.c_str());
    DeleteFileA(path.c_str());
    RunCommand(ShellHandles.mainWindow, IDM_SAVE_ENTRIES);
    EXPECT_FALSE(IsFile(path));
    FingerEntry* keep = AddTestEntry("Keep", "k@h", FE_GROUP_1);
    FingerEntry* same = AddTestEntry("Same", "s@h");
    AddTestEntry("Quick", "q@h", FE_TEMPORARY);
    same->fingerCount = 9;
    FillEntryListView();
    RunCommand(ShellHandles.mainWindow, IDM_SAVE_ENTRIES);
    EXPECT_EQ(ReadWholeFile(path), EntriesFile({keep, same}));
    ListView_SetItemState(EntryListView, 1, LVIS_SELECTED, LVIS_SELECTED);
    RunCommand(ShellHandles.mainWindow, IDM_SAVE_SELECTED);
    EXPECT_EQ(ReadWholeFile(path), EntriesFile({keep}));

    FingerEntry twin = *same, other = *keep;
    snprintf(twin.description, sizeof twin.description, "SAME");
    twin.fingerCount = 4;
    twin.lastFingered = 77;
    twin.flags = FE_NOTIFY_OPEN | FE_TEMPORARY | 0x4 | FE_GROUP_2;
    snprintf(other.description, sizeof other.description, "Other");
    const std::string whole = EntriesFile({&other, &twin});
    // A bad file changes nothing; a merge replaces "Same" by "SAME" and counts every record.
    // The file's "SAME" came after its "Same": one entry, taking the file's count but not its time or run-time bits.
    const std::string incomplete = "Open Error: The file appears to be incomplete.";
    const std::string invalid = "Load Finger Entries: The file is not a valid Ombrelane file.";
    const std::tuple<std::string, bool, std::string, std::string> cases[] = {
        {"Ombrelane Entrie", false, incomplete, "KS"},
        {"Ombrelane Entries" + whole.substr(17, 8), true, incomplete, "KS"},
        {"Ombrelane Entriez" + whole.substr(17), false, invalid, "KS"},
        {whole + "x", false, invalid, "KS"},
        {EntriesFile({&other}).replace(17, 4, "\x94\x02\0\0", 4), true,
         "Merge Finger Entries: The Finger Entries in this file appear to be saved with a different\n"
         "version of Ombrelane (different structure sizes)", "KS"},
        {ReadWholeFile(OMBRELANE_TEST_DATA "/../../docs/Samples.oen"), false,
         "Load Finger Entries: 8 entries have been loaded.", "HSTWWWWt"},
        {EntriesFile({}), false, "Load Finger Entries: 0 entries have been loaded.", ""},
        {whole, false, "Load Finger Entries: 2 entries have been loaded.", "OS"},
        {EntriesFile({&twin, &twin}), true, "Merge Finger Entries: 2 entries have been merged.", "OS"},
    };
    for (const auto& [bytes, merge, box, listed] : cases) {
        SCOPED_TRACE(box);
        WriteWholeFile(path, bytes);
        AnswerBoxes("", IDYES);
        RunCommand(ShellHandles.mainWindow, merge ? IDM_MERGE_ENTRIES : IDM_LOAD_ENTRIES);
        EXPECT_EQ(AnsweredBoxes().back().caption + ": " + AnsweredBoxes().back().text, box);
        EXPECT_EQ(ListedInitials(), listed);
    }
    EXPECT_EQ(GetJobState() & JS_LOADING, 0u);
    const FingerEntry* loaded = EntryList.tail;
    EXPECT_EQ(std::string(loaded->description), "SAME");
    EXPECT_EQ(loaded->fingerCount, 4u);
    EXPECT_EQ(loaded->lastFingered, 0);
    EXPECT_EQ(loaded->flags, FE_GROUP_2);
    EXPECT_NE(std::string(loaded->monitorFile), EntryList.head->monitorFile);
    AddJob(JOB_FINGER, EntryList.head);
    AnswerBoxes("", IDYES);
    RunCommand(ShellHandles.mainWindow, IDM_LOAD_ENTRIES);
    EXPECT_EQ(BoxTexts(), "Load Finger Entries: You cannot merge or load finger entries while there are\njobs waiting "
                          "to be processed.\n\nYou can either wait until all jobs have been processed, or use\nthe "
                          "Tools->Kill Jobs function.\n");
}
}
