// The entry dialog, its options dialog and the group dialogs, driven through their controls as the user would.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "entries/settings.h"
#include "jobs/scheduling.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/dialog_steps.h"
#include "support/program_test.h"
#include "support/test_windows.h"
#include "ui/entry_commands.h"
#include "ui/entry_dialog.h"
#include "ui/entry_list_view.h"
#include "ui/group_dialog.h"

namespace {

Step Clicking(const std::vector<int>& ids)
{
    return [ids](HWND dialog) { Click(dialog, ids); };
}

struct DialogTest : ProgramFixture<> {
    void SetUp() override
    {
        ProgramFixture::SetUp();
        CreateEntryListView(ShellHandles.mainWindow);
        SetScheduleClock([] { return 1700000000; });
    }
    void TearDown() override
    {
        ProgramFixture::TearDown();
        EntryListView = nullptr;
    }
};

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
        SetSteps({[&](HWND entry) {
            Click(entry, {IDC_ENTRY_ASSIGN_GROUPS, IDC_ENTRY_OPTIONS});
            for (const auto& [address, description, refused] : refusals) {
                SetDlgItemTextA(entry, IDC_ENTRY_ADDRESS, address);
                SetDlgItemTextA(entry, IDC_ENTRY_DESCRIPTION, description);
                Leave(entry, IDC_ENTRY_OK);
                EXPECT_EQ(GetFocus(), GetDlgItem(entry, refused));
            }
            SetDlgItemTextA(entry, IDC_ENTRY_DESCRIPTION, "  word  ");
            Leave(entry, entryButton, {IDC_ENTRY_LONG_OUTPUT});
        }, [&](HWND groups) { Leave(groups, groupButton, {IDC_GROUP_MAIL}); },
            [&](HWND options) { Leave(options, optionsButton, {IDC_ENTRY_OPT_NOTIFY}); }});
        EXPECT_EQ(EditFingerEntry(record, ShellHandles.mainWindow, "Properties"), result);
        EXPECT_EQ(SeenWindows(), "Properties|\nGroup Assignments for \"(New Entry)\"|\nProperties|\n"
                                 "Missing Finger Address|You must supply an address to finger.\n"
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
        SetSteps({Clicking({IDC_ENTRY_OPTIONS, IDC_ENTRY_OK}), [&](HWND options) {
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(options, IDC_ENTRY_OPT_PERIOD)) != 0, (flags & FE_AUTO_FINGER) != 0);
            change(options);
            Leave(options, IDC_ENTRY_OPT_OK);
        }, answer ? Press(answer) : nullptr});
        EditFingerEntry(record, ShellHandles.mainWindow, "Properties");
        EXPECT_EQ(StoredOptions(record), stored);
        EXPECT_EQ(SeenWindows(), "Properties|\nProperties|\n" + (answer ? question : ""));
    }
}

TEST_F(DialogTest, SeveralEntriesShareTheGroupBoxesAGroupIsRenamedAtOnceAndPropertiesEditsOnlyTheFirst)
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
        SetSteps({[&](HWND groups) {
            for (int i = 0; i < clicks; ++i)
                Click(groups, {IDC_GROUP_1, IDC_GROUP_MAIL});
            EXPECT_EQ(IsDlgButtonChecked(groups, IDC_GROUP_1), box);
            EXPECT_EQ(IsDlgButtonChecked(groups, IDC_GROUP_MAIL), clicks % 2 ? 1u : 0u);
            Leave(groups, groupButton, {IDC_GROUP_2_NAME});
        }, [&](HWND rename) {
            EXPECT_EQ(WindowText(GetDlgItem(rename, IDC_GROUP_NAME_EDIT)), "Old");
            EXPECT_EQ(SendDlgItemMessageA(rename, IDC_GROUP_NAME_EDIT, EM_GETLIMITTEXT, 0, 0), 39);
            SetDlgItemTextA(rename, IDC_GROUP_NAME_EDIT, typed);
            Leave(rename, nameButton);
        }});
        AssignGroups(ShellHandles.mainWindow, entries[0], 2, false);
        EXPECT_EQ(SeenWindows(), "Group Assignments for 2 Entries|\nSet Group 2 Name|\n");
        EXPECT_EQ(std::vector<uint32_t>({entries[0]->flags, entries[1]->flags, entries[2]->flags}), flags) << clicks;
        EXPECT_STREQ(Settings.groupNames[3], name);
    }
    // Properties edits the first selected entry only, and keeps what a finger that ended while it was open changed.
    SetSteps({[&](HWND dialog) {
        entries[0]->fingerCount = 7;
        SetDlgItemTextA(dialog, IDC_ENTRY_DESCRIPTION, "Renamed");
        Click(dialog, {IDC_ENTRY_OK});
    }});
    EditEntryProperties(ShellHandles.mainWindow);
    EXPECT_EQ(SeenWindows(), "Properties for \"A\"|\n");
    EXPECT_EQ(std::string(entries[0]->description) + entries[1]->description, "RenamedB");
    EXPECT_EQ(entries[0]->fingerCount, 7u);
}

}
