// The entry dialog, its options dialog and the group dialogs, driven through
// their controls as the user would.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "entries/settings.h"
#include "jobs/scheduling.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"
#include "ui/entry_commands.h"
#include "ui/entry_dialog.h"
#include "ui/entry_list_view.h"
#include "ui/group_dialog.h"

namespace {

// Each step acts once on a box or dialog that has become active; one that a
// step opens gets the next step. Left without steps, a window is closed.
using Step = std::function<void(HWND)>;
std::deque<Step> steps;
std::vector<HWND> handled;
std::string answered;  // "caption|text" of every box answered, one a line

void CALLBACK RunNextStep(HWND, UINT, UINT_PTR, DWORD)
{
    HWND active = GetActiveWindow();
    // A dialog becomes active before its modal loop shows it; the test's main window is never shown.
    if (!IsWindowVisible(active) || std::count(handled.begin(), handled.end(), active))
        return;
    handled.push_back(active);
    if (steps.empty())
        steps.push_back([](HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); });
    Step step = std::move(steps.front());
    steps.pop_front();
    step(active);
}

Step Answer(int button)
{
    return [button](HWND box) {
        answered += WindowText(box) + "|" + WindowText(GetDlgItem(box, 0xFFFF)) + "\n";
        PostMessageA(box, WM_COMMAND, button, 0);
    };
}

void Click(HWND dialog, const std::vector<int>& ids)
{
    for (int id : ids)
        SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

Step Clicking(const std::vector<int>& ids)
{
    return [ids](HWND dialog) { Click(dialog, ids); };
}

// Clicks the buttons, presses Escape, which must leave the dialog open, and
// leaves with a button or, when it is 0, with the close box.
void Leave(HWND dialog, int button, const std::vector<int>& clicks = {})
{
    Click(dialog, clicks);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
    if (button)
        Click(dialog, {button});
    else
        PostMessageA(dialog, WM_CLOSE, 0, 0);
}

int Edit(FingerEntry& record, std::deque<Step> script)
{
    answered.clear();
    handled.clear();
    steps = std::move(script);
    return EditFingerEntry(record, ShellHandles.mainWindow, "Properties");
}

struct DialogTest : ::testing::Test {
    static void SetUpTestSuite() { SetTimer(nullptr, 0, 20, RunNextStep); }
    void SetUp() override
    {
        StartTestProgram();
        CreateEntryListView(ShellHandles.mainWindow);
        SetScheduleClock([] { return 1700000000; });
    }
    void TearDown() override
    {
        StopTestProgram();
        EntryListView = nullptr;
    }
};

TEST(TrimBlanks, TheModeNamesTheEndsThatLoseTheirBlanksAndTabs)
{
    const std::tuple<const char*, int, int, const char*> cases[] = {
        {" \t a b \t ", TRIM_LEADING | TRIM_TRAILING, 64, "a b"}, {" \t a b \t ", TRIM_LEADING, 64, "a b \t "},
        {" \t a b \t ", TRIM_TRAILING, 64, " \t a b"}, {" \t ", TRIM_LEADING | TRIM_TRAILING, 64, ""},
        {"", TRIM_LEADING | TRIM_TRAILING, 64, ""}, {"  abcdef", TRIM_LEADING, 4, "abc"}};
    for (const auto& [source, mode, size, expected] : cases) {
        char result[64] = "x";
        EXPECT_EQ(TrimBlanks(result, size, source, mode), static_cast<int>(strlen(expected))) << source;
        EXPECT_STREQ(result, expected);
    }
}

TEST_F(DialogTest, BlankFieldsAreRefusedInOrderAndOnlyOkStoresTheEntryWithItsOptionsAndGroups)
{
    // What is typed into the address and the description before an OK, and the edit then refused.
    const std::tuple<const char*, const char*, int> refusals[] = {
        {" \t ", "", IDC_ENTRY_ADDRESS}, {"  u@h ", "\t ", IDC_ENTRY_DESCRIPTION}};
    // The buttons that leave the entry, options and group dialogs (0: the close box), the result, description and
    // address, and flags.
    const std::tuple<int, int, int, int, std::string, uint32_t> cases[] = {
        {IDC_ENTRY_OK, IDC_ENTRY_OPT_OK, IDC_GROUP_OK, 0, "word|  u@h ",
         FE_NOTIFY_CHANGES | FE_GROUP_MAIL | FE_LONG_OUTPUT},
        {IDC_ENTRY_CANCEL, IDC_ENTRY_OPT_CANCEL, IDC_GROUP_CANCEL, -1, "|u@h", 0},
        {0, 0, 0, -1, "|u@h", 0}};
    for (const auto& [entryButton, optionsButton, groupButton, result, texts, flags] : cases) {
        FingerEntry record = *AddTestEntry("", "u@h");
        EXPECT_EQ(Edit(record, {[&](HWND entry) {
            Click(entry, {IDC_ENTRY_ASSIGN_GROUPS, IDC_ENTRY_OPTIONS});
            for (const auto& [address, description, refused] : refusals) {
                SetDlgItemTextA(entry, IDC_ENTRY_ADDRESS, address);
                SetDlgItemTextA(entry, IDC_ENTRY_DESCRIPTION, description);
                Leave(entry, IDC_ENTRY_OK);
                EXPECT_EQ(GetFocus(), GetDlgItem(entry, refused));
            }
            SetDlgItemTextA(entry, IDC_ENTRY_DESCRIPTION, "  word  ");
            Leave(entry, entryButton, {IDC_ENTRY_LONG_OUTPUT});
        }, [&](HWND groups) {
            EXPECT_EQ(WindowText(groups), "Group Assignments for \"(New Entry)\"");
            Leave(groups, groupButton, {IDC_GROUP_MAIL});
        }, [&](HWND options) {
            EXPECT_EQ(WindowText(options), "Properties");
            Leave(options, optionsButton, {IDC_ENTRY_OPT_NOTIFY});
        }, Answer(IDOK), Answer(IDOK)}), result);
        EXPECT_EQ(answered, "Missing Finger Address|You must supply an address to finger.\n"
                            "Missing Finger Description|You must supply a description for this finger entry.\n");
        EXPECT_EQ(std::string(record.description) + "|" + record.address, texts);
        EXPECT_EQ(record.flags, flags) << entryButton;
    }
}

// Interval/unit, next finger, flags, monitor file, icon and whether the program logs.
std::string StoredOptions(const FingerEntry& entry)
{
    char text[512];
    snprintf(text, sizeof text, "%u/%u %d %x%s %s,%u%s", entry.interval, entry.period, entry.nextFinger, entry.flags,
             entry.monitorFile[0] ? " monitor" : "", entry.iconFile, entry.iconIndex,
             Settings.options & OPT_LOGGING ? " logging" : "");
    return text;
}

TEST_F(DialogTest, TheScheduleRestartsOnlyWhenChangedAndLoggingMayBeTurnedOnFromAnEntry)
{
    const std::string question = "Logging Not Enabled|Logging isn't currently enabled.\n\nWould you like to enable it "
                                 "now, so that\nthe logging for this finger entry will take\nplace immediately?\n";
    // Due every 5 hours from 42, with icon 3 of "i.ico", no monitor file and logging off at 1700000000: the flags,
    // what the user does, the answer to the logging question (0: not asked), and what is stored.
    const std::tuple<uint32_t, Step, int, std::string> cases[] = {
        {FE_AUTO_FINGER, Clicking({}), 0, "5/1 42 2 monitor i.ico,3"},
        {FE_AUTO_FINGER, [](HWND o) { SetDlgItemTextA(o, IDC_ENTRY_OPT_INTERVAL, ""); }, 0,
         "5/1 42 2 monitor i.ico,3"},
        {FE_AUTO_FINGER, [](HWND o) { SetDlgItemTextA(o, IDC_ENTRY_OPT_INTERVAL, "0"); }, 0,
         "0/1 1700000000 2 monitor i.ico,3"},
        {FE_AUTO_FINGER, [](HWND o) { SendDlgItemMessageA(o, IDC_ENTRY_OPT_PERIOD, CB_SETCURSEL, 0, 0); }, 0,
         "5/0 1700000300 2 monitor i.ico,3"},
        {0, Clicking({IDC_ENTRY_OPT_AUTO_FINGER}), 0, "5/1 1700018000 2 monitor i.ico,3"},
        {FE_AUTO_FINGER | FE_HTML_ALWAYS,
         Clicking({IDC_ENTRY_OPT_AUTO_FINGER, IDC_ENTRY_OPT_HTML_NEVER, IDC_ENTRY_OPT_ICON_DEFAULT}), 0,
         "5/1 42 1000 ,0"},
        {0, Clicking({IDC_ENTRY_OPT_LOG}), IDYES, "5/1 42 10 i.ico,3 logging"},
        {0, Clicking({IDC_ENTRY_OPT_LOG}), IDNO, "5/1 42 10 i.ico,3"},
        {0, Clicking({IDC_ENTRY_OPT_LOG}), IDCANCEL, "5/1 42 0 i.ico,3"}};
    for (const auto& [flags, change, answer, stored] : cases) {
        Settings.options &= ~OPT_LOGGING;
        FingerEntry record = *AddTestEntry("d", "u@h");
        record.flags = flags;
        record.interval = 5;
        record.nextFinger = 42;
        record.monitorFile[0] = '\0';
        record.iconIndex = 3;
        lstrcpynA(record.iconFile, "i.ico", sizeof record.iconFile);
        Edit(record, {Clicking({IDC_ENTRY_OPTIONS, IDC_ENTRY_OK}), [&](HWND options) {
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(options, IDC_ENTRY_OPT_PERIOD)) != 0, (flags & FE_AUTO_FINGER) != 0);
            change(options);
            Leave(options, IDC_ENTRY_OPT_OK);
        }, Answer(answer)});
        EXPECT_EQ(StoredOptions(record), stored);
        EXPECT_EQ(answered, answer ? question : "");
    }
}

TEST_F(DialogTest, SeveralEntriesShareTheBoxesOnlyAMixedGroupStaysMixedAndGroupsAreRenamedAtOnce)
{
    // Two entries with rows, both selected, and one without.
    FingerEntry* entries[] = {AddTestEntry("A", "a@h"), AddTestEntry("B", "b@h"), AddTestEntry("C", "c@h")};
    InsertEntryRow(entries[0]);
    InsertEntryRow(entries[1]);
    SelectAllRows();
    // Clicks on the boxes of group #1 (of the selected entries only the first is in it) and Mail (neither is), group
    // #1's box then, the button that leaves, and the three entries' flags; the name typed for group #2, the button
    // that leaves its dialog (0: the close box) and the name then.
    const std::tuple<int, UINT, int, std::vector<uint32_t>, const char*, int, const char*> cases[] = {
        {0, BST_INDETERMINATE, IDC_GROUP_CANCEL, {FE_GROUP_1, 0, FE_GROUP_1}, "Friends", IDC_GROUP_NAME_OK, "Friends"},
        {1, BST_UNCHECKED, IDC_GROUP_OK, {FE_GROUP_MAIL, FE_GROUP_MAIL, FE_GROUP_1}, "", IDC_GROUP_NAME_OK,
         "Finger Group #2"},
        {2, BST_CHECKED, IDC_GROUP_OK, {FE_GROUP_1, FE_GROUP_1, FE_GROUP_1}, "Lost", IDC_GROUP_NAME_CANCEL, "Old"},
        {3, BST_INDETERMINATE, IDC_GROUP_OK, {FE_GROUP_1 | FE_GROUP_MAIL, FE_GROUP_MAIL, FE_GROUP_1}, "Lost", 0,
         "Old"}};
    for (const auto& [clicks, box, groupButton, flags, typed, nameButton, name] : cases) {
        entries[0]->flags = entries[2]->flags = FE_GROUP_1;
        entries[1]->flags = 0;
        lstrcpynA(Settings.groupNames[3], "Old", GROUP_NAME_SIZE);
        handled.clear();
        steps = {[&](HWND groups) {
            EXPECT_EQ(WindowText(groups), "Group Assignments for 2 Entries");
            for (int i = 0; i < clicks; ++i)
                Click(groups, {IDC_GROUP_1, IDC_GROUP_MAIL});
            EXPECT_EQ(IsDlgButtonChecked(groups, IDC_GROUP_1), box);
            EXPECT_EQ(IsDlgButtonChecked(groups, IDC_GROUP_MAIL), clicks % 2 ? 1u : 0u);
            Leave(groups, groupButton, {IDC_GROUP_2_NAME});
        }, [&](HWND rename) {
            EXPECT_EQ(WindowText(rename) + ": " + WindowText(GetDlgItem(rename, IDC_GROUP_NAME_EDIT)),
                      "Set Group 2 Name: Old");
            EXPECT_EQ(SendDlgItemMessageA(rename, IDC_GROUP_NAME_EDIT, EM_GETLIMITTEXT, 0, 0), 39);
            SetDlgItemTextA(rename, IDC_GROUP_NAME_EDIT, typed);
            Leave(rename, nameButton);
        }};
        AssignGroups(ShellHandles.mainWindow, entries[0], 2, false);
        EXPECT_EQ(std::vector<uint32_t>({entries[0]->flags, entries[1]->flags, entries[2]->flags}), flags) << clicks;
        EXPECT_STREQ(Settings.groupNames[3], name);
    }
}

// Properties edits the first selected entry only, and keeps what a finger
// that ended while the dialog was open changed.
TEST_F(DialogTest, PropertiesEditsTheFirstSelectedEntryAndKeepsItsRunTimeFields)
{
    FingerEntry* entries[] = {AddTestEntry("A", "a@h"), AddTestEntry("B", "b@h")};
    for (FingerEntry* entry : entries)
        InsertEntryRow(entry);
    SelectAllRows();
    handled.clear();
    steps = {[&](HWND dialog) {
        EXPECT_EQ(WindowText(dialog), "Properties for \"A\"");
        entries[0]->fingerCount = 7;
        SetDlgItemTextA(dialog, IDC_ENTRY_DESCRIPTION, "Renamed");
        Click(dialog, {IDC_ENTRY_OK});
    }};
    EditEntryProperties(ShellHandles.mainWindow);
    EXPECT_EQ(std::string(entries[0]->description) + entries[1]->description, "RenamedB");
    EXPECT_EQ(entries[0]->fingerCount, 7u);
}

}
