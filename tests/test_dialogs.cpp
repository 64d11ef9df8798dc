// Every dialog driven through its controls as the user would: the entry dialog, its options and the group dialogs;
// the options dialogs and the Startup shortcut they leave behind; quick finger and quick whois; Help, What's New and
// the about box; Find and Find again in the output pane.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <tuple>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "output/answer_buffers.h"
#include "output/find_output.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/dialog_steps.h"
#include "support/program_test.h"
#include "support/test_files.h"
#include "support/test_windows.h"
#include "ui/entry_commands.h"
#include "ui/entry_dialog.h"
#include "ui/entry_list_view.h"
#include "ui/group_dialog.h"
#include "ui/help_commands.h"
#include "ui/options_dialog.h"
#include "ui/quick_dialogs.h"

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

bool Enabled(HWND dialog, const std::vector<int>& ids)
{
    return std::ranges::all_of(ids, [&](int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; });
}

// The shortcut's show command (0: none), read from its header: Wine's link object reports every link as shown normally.
int ShortcutShowCommand(const std::string& path)
{
    const std::string bytes = ReadWholeFile(path);
    EXPECT_EQ(bytes.find("\\test_dialogs.exe") != std::string::npos, bytes.size() > 64);
    return bytes.size() > 64 ? *reinterpret_cast<const int32_t*>(&bytes[60]) : 0;
}

using OptionsTest = ProgramFixture<TestProgramOptions{.simulate = false, .startTaskThread = false}>;

TEST_F(OptionsTest, TheAdvancedFieldsAreCheckedInOrderAndARefusalKeepsTheDialogOpenWithEarlierFieldsStored)
{
    const std::string changed = "Changes to Memory Allocation|The changes to allocated memory will take effect after"
                                "\nOmbrelane is next started.\n",
        browser = "Invalid User Browser|Please enter the location of a valid browser program.\n",
        memory = "Incorrect Memory Allocation Amount|Please enter an amount of memory between 16 and 1024 KBytes.\n",
        number = "Invalid Number|Please enter a valid number between 16 and 1024.\n",
        limit = "Invalid Network Time Limit|Please enter a network time limit between 1 and 3600 seconds.\n";
    constexpr uint32_t N = OPT_NETWORK, U = OPT_USER_BROWSER;
    constexpr int SIMULATE = IDC_ADV_SIMULATE_NETWORK, USER = IDC_ADV_USER_BROWSER, DEFAULT = IDC_ADV_DEFAULT_BROWSER;
    // Size and limit typed, options, clicks, browser typed; result (-1: OK refused), boxes, next size, limit, options.
    const std::tuple<const char*, const char*, uint32_t, std::vector<int>, const char*, int, std::string, uint32_t,
                     uint32_t, uint32_t> cases[] = {
        {"16", "30", N, {}, "", 0, changed, 16384, 30, N},     {"64", "1", 0, {SIMULATE}, "", 0, "", 65536, 1, N},
        {"1024", "3600", N, {SIMULATE}, "", 0, changed, 1048576, 3600, 0},
        {"64", "1", N | U, {DEFAULT}, "", 0, "", 65536, 1, N}, {"64", "1", N, {USER}, "b.exe", 0, "", 65536, 1, N | U},
        {"15", "45", N, {SIMULATE, USER}, "", -1, browser, 65536, 60, 0},
        {"15", "45", N, {}, "", -1, memory, 65536, 45, N},     {"1025", "45", N, {}, "", -1, memory, 65536, 45, N},
        {"", "45", N, {}, "", -1, number, 65536, 45, N},       {"16", "0", N, {}, "", -1, limit, 65536, 60, N},
        {"16", "3601", N, {}, "", -1, limit, 65536, 60, N},    {"16", "", N, {}, "", -1, limit, 65536, 60, N}};
    lstrcpynA(Settings.whoisServer, "old.example", WHOIS_HOST_SIZE);
    for (const auto& [size, seconds, before, clicks, path, result, boxes, saved, stored, after] : cases) {
        Settings.options = before;
        Settings.maxAllocSizeSaved = 65536;
        Settings.networkTimeout = 60;
        SetSteps({[&](HWND dialog) {
            EXPECT_EQ(AdvancedOptionsDialog(dialog), 1);
            EXPECT_EQ(GetDlgItemInt(dialog, IDC_ADV_BUFFER_SIZE, nullptr, FALSE), 64u);
            EXPECT_EQ(GetDlgItemInt(dialog, IDC_ADV_NETWORK_TIMEOUT, nullptr, FALSE), 60u);
            EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_ADV_WHOIS_SERVER)), Settings.whoisServer);
            SetDlgItemTextA(dialog, IDC_ADV_WHOIS_SERVER, "");
            SetDlgItemTextA(dialog, IDC_ADV_BUFFER_SIZE, size);
            SetDlgItemTextA(dialog, IDC_ADV_NETWORK_TIMEOUT, seconds);
            SetDlgItemTextA(dialog, IDC_ADV_BROWSER_PATH, path);
            Click(dialog, clicks);
            const bool user = IsDlgButtonChecked(dialog, USER);
            EXPECT_EQ(Enabled(dialog, {IDC_ADV_BROWSER_PATH, IDC_ADV_BROWSER_BROWSE}), user);
            Leave(dialog, IDC_ADV_OK);
            PostMessageA(dialog, WM_COMMAND, IDC_ADV_CANCEL, 0);
        }});
        EXPECT_EQ(AdvancedOptionsDialog(ShellHandles.mainWindow), result) << size << " " << seconds;
        EXPECT_EQ(SeenWindows(), "Advanced Options|\n" + boxes);
        EXPECT_EQ(std::tie(Settings.maxAllocSizeSaved, Settings.networkTimeout, Settings.options, Settings.userBrowser),
                  std::tuple(saved, stored, after, std::string(path)));
        EXPECT_STREQ(Settings.whoisServer, DEFAULT_WHOIS_SERVER);
    }
}

TEST_F(OptionsTest, OkStoresTheBoxesAndTheSplitAndKeepsTheStartupShortcutInStep)
{
    const std::string folder = TempFolder(), link = folder + "\\Ombrelane.lnk";
    constexpr uint32_t kept = OPT_LOGGING | OPT_HIDE_WHEN_MINIMISED | OPT_AUTO_HTML, starts = OPT_START_WITH_WINDOWS;
    // The Startup folder, the boxes clicked, the split chosen, the button that leaves (0: the close box), and the
    // result, options, split change and the shortcut's show command (0: none).
    const std::tuple<std::string, std::vector<int>, int, int, int, uint32_t, bool, int> cases[] = {
        {folder, {IDC_OPT_START_WITH_WINDOWS, IDC_OPT_START_MINIMISED, IDC_OPT_LOGGING, IDC_OPT_HIDE_WHEN_MINIMISED,
                IDC_OPT_AUTO_HTML}, 7, IDC_OPT_OK, 0, kept | starts | OPT_START_MINIMISED, true, SW_SHOWMINNOACTIVE},
        {folder, {IDC_OPT_START_MINIMISED}, 7, IDC_OPT_OK, 0, kept | starts, false, SW_SHOWNORMAL},
        {folder, {IDC_OPT_START_WITH_WINDOWS}, 2, 0, -1, kept | starts, false, SW_SHOWNORMAL},
        {folder, {IDC_OPT_LOGGING}, 2, IDC_OPT_CANCEL, -1, kept | starts, false, SW_SHOWNORMAL},
        {folder, {IDC_OPT_START_WITH_WINDOWS}, 7, IDC_OPT_OK, 0, kept, false, 0},
        {"", {IDC_OPT_START_WITH_WINDOWS}, 7, IDC_OPT_OK, 0, kept | starts, false, 0}};
    Settings.options = 0;
    for (const auto& [startup, clicks, split, button, result, options, splitChanged, show] : cases) {
        lstrcpynA(Settings.startupFolder, startup.c_str(), PATH_SIZE);
        SetSteps({[&](HWND dialog) {
            bool again = true;
            EXPECT_EQ(OptionsDialog(dialog, again) + again, 1);
            EXPECT_EQ(Enabled(dialog, {IDC_OPT_START_MINIMISED}), (Settings.options & starts) != 0);
            EXPECT_EQ(Enabled(dialog, {IDC_OPT_LOG_FILE, IDC_OPT_LOG_BROWSE}), (Settings.options & OPT_LOGGING) != 0);
            SetDlgItemTextA(dialog, IDC_OPT_LOG_FILE, result == 0 ? "kept.txt" : "dropped.txt");
            SendDlgItemMessageA(dialog, IDC_OPT_DISPLAY_SPLIT, TBM_SETPOS, TRUE, split);
            Leave(dialog, button, clicks);
        }});
        bool changed = !splitChanged;
        EXPECT_EQ(OptionsDialog(ShellHandles.mainWindow, changed), result);
        EXPECT_EQ(std::tuple(Settings.options, changed, ShortcutShowCommand(link)),
                  std::tuple(options, splitChanged, show));
        EXPECT_STREQ(Settings.logFile, "kept.txt");
    }
    EXPECT_EQ(Settings.DisplaySplit, 7);
    EXPECT_EQ(GetFileAttributesA("\\Ombrelane.lnk"), INVALID_FILE_ATTRIBUTES);
}

void Drive(void (*command)(HWND), std::deque<Step> steps)
{
    SetSteps(std::move(steps));
    command(ShellHandles.mainWindow);
}

// Types, ticks both boxes, and runs the same command again, which must not open a second dialog; then leaves.
Step Fill(void (*command)(HWND), const std::string& address, int leave)
{
    return [=](HWND dialog) {
        for (char c : address)
            SendDlgItemMessageA(dialog, IDC_QUICK_ADDRESS, WM_CHAR, static_cast<unsigned char>(c), 0);
        Click(dialog, {IDC_QUICK_LOG, IDC_QUICK_LONG_OUTPUT});
        command(ShellHandles.mainWindow);
        Leave(dialog, leave);
    };
}

// Command, caption, options and queue state before, the log question's answer (0: not asked), the way out (0: the
// close box). Only OK queues, with at most 127 characters; a job the queue refuses frees its entry.
TEST_F(DialogTest, OnlyOkQueuesATemporaryEntryAndARefusedOneIsReleased)
{
    const std::string address(ADDRESS_SIZE - 1, 'a');
    const std::string question = "Logging Not Enabled|Logging isn't currently enabled.\n\nWould you like to enable it "
                                 "now, so that\nthis quick finger will be logged?\n";
    const std::tuple<void (*)(HWND), const char*, uint32_t, uint32_t, int, int> cases[] = {
        {QuickFinger, "Quick Finger|\n", 0, JS_PAUSED, IDNO, IDC_QUICK_OK},
        {QuickFinger, "Quick Finger|\n", 0, JS_PAUSED, IDYES, 0},
        {QuickWhois, "Quick Whois|\n", OPT_LOGGING, JS_PAUSED, 0, IDC_QUICK_OK},
        {QuickWhois, "Quick Whois|\n", 0, JS_PAUSED, IDYES, IDC_QUICK_CANCEL},
        {QuickFinger, "Quick Finger|\n", OPT_LOGGING, JS_PAUSED | JS_LOADING, 0, IDC_QUICK_OK}};
    for (const auto& [command, dialog, logging, state, answer, leave] : cases) {
        Settings.options = logging;
        SetJobState(0, state);
        Drive(command, {Fill(command, address + "bcd", leave), answer ? Press(answer) : nullptr});
        EXPECT_EQ(SeenWindows(), dialog + (answer ? question : ""));
        EXPECT_EQ(Settings.options, answer == IDNO ? 0u : uint32_t{OPT_LOGGING});
    }
    ASSERT_EQ(GetJobCount(), 2u);
    ASSERT_EQ(EntryList.count, 2u);
    const Job& finger = *JobQueue.jobHead;
    const Job& whois = *JobQueue.jobTail;
    EXPECT_TRUE(finger.jobType == JOB_FINGER && whois.jobType == JOB_WHOIS);
    EXPECT_EQ(finger.entry->flags, FE_TEMPORARY | FE_LONG_OUTPUT);
    EXPECT_EQ(whois.entry->flags, FE_TEMPORARY | FE_LOG_OUTPUT);
    EXPECT_TRUE(finger.entry->address == address && whois.entry->address == address);
}

// The documents lie in a folder with a blank in its name; ".htm" and ".txt" open with a stand-in that records its
// command line, the web page and mail with a missing program. The classes are changed in the sandbox's own registry.
TEST_F(DialogTest, DocumentsOpenWithTheirPathWholeAndFailuresAreReported)
{
    ASSERT_EQ(SetUpPaths(), 0);
    const std::string base = TempFolder() + "\\Program Folder\\", record = base + "record.txt";
    const std::string recorder = std::string("\"") + ProgramFolder + "record_command_line.exe\" \"%1\"";
    const std::string missing = "\"" + base + "missing.exe\" \"%1\"";
    const std::vector<std::pair<std::string, std::string>> classes = {
        {".htm", "OmbrelaneTest"}, {".txt", "OmbrelaneTest"}, {"OmbrelaneTest\\shell\\open\\command", recorder},
        {"https\\shell\\open\\command", missing}, {"mailto\\shell\\open\\command", missing}};
    for (const auto& [key, value] : classes)
        RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(), value.size());
    snprintf(ProgramFolder, sizeof ProgramFolder, "%s", base.c_str());
    SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA((base + "help").c_str(), nullptr);
    const std::pair<void (*)(HWND), const char*> documents[] = {{OpenHelpDocument, "help\\Ombrelane.htm"},
                                                                {OpenWhatsNew, "whatsnew.txt"}};
    for (const auto& [command, name] : documents) {
        WriteWholeFile(base + name, "document");
        Drive(command, {});
        EXPECT_EQ(SeenWindows(), "");
        EXPECT_TRUE(PumpUntil([&] { return !ReadWholeFile(record).empty(); }, 30000));
        const std::string started = ReadWholeFile(record);
        EXPECT_TRUE(started.starts_with("argc=2\n") && started.ends_with("\nargv[1]=" + base + name + "\n")) << started;
        DeleteFileA((base + name).c_str());
        DeleteFileA(record.c_str());
        Drive(command, {});
        EXPECT_EQ(SeenWindows(), "Ombrelane|Couldn't find: " + base + name + "\n");
    }
    Drive(ShowAboutBox, {[](HWND about) {
                             EXPECT_TRUE(WindowText(GetDlgItem(about, IDC_ABOUT_TEXT)).starts_with("Ombrelane 1.23\n"));
                             Click(about, {IDC_ABOUT_WEB_PAGE, IDC_ABOUT_EMAIL});
                             EXPECT_TRUE(IsWindowVisible(about));
                             Click(about, {IDC_ABOUT_OK});
                         }});
    EXPECT_EQ(SeenWindows(), "About Ombrelane|\n"
                             "Visit Corvale|Couldn't visit \"https://www.rfc-editor.org/rfc/rfc1288\"\n"
                             "E-mail Corvale|Couldn't visit \"mailto:?subject=Ombrelane%201.23\"\n");
    RemoveFolderTree(base);
}

std::string offered;

// Notes what the dialog offers, types text (unless null), clicks, and leaves as Leave does (Escape first: an OK after
// it still searches).
Step Dialog(const char* text, std::vector<int> clicks = {}, int button = IDC_FIND_OK)
{
    return [=](HWND dialog) {
        offered.append("[").append(WindowText(GetDlgItem(dialog, IDC_FIND_TEXT)));
        offered.append(IsDlgButtonChecked(dialog, IDC_FIND_MATCH_CASE) ? "] case" : "]");
        offered.append(IsDlgButtonChecked(dialog, IDC_FIND_WHOLE_WORD) ? " word\n" : "\n");
        if (text)
            SetDlgItemTextA(dialog, IDC_FIND_TEXT, text);
        Leave(dialog, button, clicks);
    };
}

// Each action: the step for the dialog it opens (none: Find again), and the windows met, what the dialog offered and
// the selection afterwards.
void Play(const char* text, const std::vector<std::pair<Step, std::string>>& actions)
{
    StartTestProgram({true, false});
    AppendText(text);
    CHARRANGE selection = {0, 0};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    for (const auto& [step, expected] : actions) {
        offered.clear();
        SetSteps({step});
        (step ? FindInOutput : FindAgain)(ShellHandles.mainWindow);
        SendMessageA(OutputWindow, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        EXPECT_EQ(SeenWindows() + offered + std::to_string(selection.cpMin) + "," + std::to_string(selection.cpMax),
                  expected);
    }
    StopTestProgram();
}

TEST(FindInOutput, MatchesOverlapNeverWrapAndOnlyTheDialogStartsAgainWithTheOptionsItRemembers)
{
    const std::string dialog = "Find in Output|\n", missing = "Find in Output|\"aa\" not found.\n";
    Play("aaaa", {{nullptr, dialog + "0,0"},  // before any search, the dialog, closed here
                  {Dialog("aa", {}, IDC_FIND_CANCEL), dialog + "[]\n0,0"},
                  {Dialog("aa"), dialog + "[]\n0,2"},
                  {nullptr, "1,3"},
                  {nullptr, "2,4"},
                  {nullptr, missing + "2,4"},
                  {nullptr, missing + "2,4"},
                  {Dialog(nullptr), dialog + "[aa]\n0,2"},
                  {Dialog("zz", {}, IDC_FIND_CANCEL), dialog + "[aa]\n0,2"},
                  {nullptr, "1,3"}});
    Play("Word sword word Words word",
         {{Dialog("word", {IDC_FIND_WHOLE_WORD}), dialog + "[]\n0,4"},
          {nullptr, "11,15"},
          {nullptr, "22,26"},
          {Dialog(nullptr, {IDC_FIND_MATCH_CASE}), dialog + "[word] word\n11,15"},
          {Dialog("Word", {IDC_FIND_WHOLE_WORD}), dialog + "[word] case word\n0,4"},
          {nullptr, "16,20"},
          {nullptr, "Find in Output|\"Word\" not found.\n16,20"},
          {Dialog("WORDS", {IDC_FIND_MATCH_CASE, IDC_FIND_WHOLE_WORD}), dialog + "[Word] case\n16,21"}});
    // A new pane forgets the text and the search, not the options.
    Play("Word", {{Dialog(nullptr, {}, 0), dialog + "[] word\n0,0"}});
}

}
