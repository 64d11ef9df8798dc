#include "entries/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "support/program_fixture.h"
#include "support/registry_values.h"
#include "support/test_windows.h"

namespace {

constexpr char COMPANY_KEY_PATH[] = "Software\\Corvale Software";

bool KeyExists(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::string> Profiles()
{
    return SubkeyNames(PROFILES_KEY_PATH);
}

std::vector<std::string> Descriptions()
{
    std::vector<std::string> names;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        names.push_back(entry->description);
    return names;
}

FingerEntry* FindEntry(const std::string& description)
{
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        if (description == entry->description)
            return entry;
    return nullptr;
}

bool SameFont(const LOGFONTA& a, const LOGFONTA& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

// Every test starts with no program key, a loaded first-run state and an
// answerer for message boxes, and expects no box unless it takes them.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        FetchDefaultEntryFont();
        FreeAllEntries();
        DeleteKeyTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
        AnswerBoxes("", IDOK);
        ASSERT_EQ(0, LoadSettings());
    }
    void TearDown() override
    {
        StopAnsweringBoxes();
        for (const AnsweredBox& box : AnsweredBoxes())
            ADD_FAILURE() << "unexpected box \"" << box.caption << "\": " << box.text;
        FreeAllEntries();
        DeleteKeyTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
    }
    // The boxes shown so far; answering goes on.
    std::vector<AnsweredBox> TakeBoxes()
    {
        std::vector<AnsweredBox> boxes = AnsweredBoxes();
        AnswerBoxes("", IDOK);
        return boxes;
    }
    // Loads from the registry as a new start does.
    int Reload()
    {
        FreeAllEntries();
        SetDefaultSettings();
        return LoadSettings();
    }
    // A save followed by a fresh start.
    int SaveAndReload()
    {
        SaveSettings();
        return Reload();
    }
};

TEST_F(RegistryTest, FirstRunLoadsNothingAndWritesNothing)
{
    AddTestEntry("left over", "user@host");
    Settings.saveAtExit = 0;
    ASSERT_EQ(0, LoadSettings());
    EXPECT_EQ(1, Settings.saveAtExit);
    EXPECT_EQ(nullptr, EntryList.head);
    EXPECT_EQ(0u, EntryList.count);
    EXPECT_FALSE(KeyExists(PROGRAM_KEY_PATH)) << "loading never writes";
    const RawValue startup = ReadValueAt(SHELL_FOLDERS_KEY_PATH, "Startup");
    EXPECT_EQ(startup.result == ERROR_SUCCESS ? startup.Text() : "", Settings.startupFolder);
}

TEST_F(RegistryTest, FirstSaveWritesTheProfilesAndNoLayoutOfItsOwn)
{
    AddTestEntry("One", "one@host");
    AddTestEntry("Two", "two@host");
    SaveSettings();

    EXPECT_TRUE(ReadValue("", "NumButtons").Is(REG_BINARY, 4));
    EXPECT_EQ(0xFFFFFFFFu, ReadValue("", "NumButtons").Word());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("", "Toolbar").result) << "no layout of its own yet";
    EXPECT_TRUE(ReadValue("", "Log File").Is(REG_SZ, 1));
    EXPECT_TRUE(ReadValue("", "Network Timeout").Is(REG_BINARY, 4));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("", "Batch0Name").result);
    EXPECT_EQ((std::vector<std::string>{"Profiles"}), SubkeyNames(PROGRAM_KEY_PATH));
    EXPECT_EQ((std::vector<std::string>{"One", "Two"}), Profiles());
    std::vector<std::string> names;
    for (const auto& [name, value] : AllValues("Profiles\\One"))
        names.push_back(name);
    std::vector<std::string> expected = {"Address",       "Colour",     "Flags",         "Font",
                                         "Icon Filename", "Icon Index", "Interval",      "Last Fingered",
                                         "Monitor Log",   "NumFingers", "Period",        "Points"};
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names) << "no other value, no description value for a plain name";
    EXPECT_TRUE(ReadValue("Profiles\\One", "Address").Is(REG_SZ, sizeof "one@host"));
    EXPECT_EQ("00000001.htm", ReadValue("Profiles\\Two", "Monitor Log").Text());
    EXPECT_TRUE(ReadValue("Profiles\\One", "Font").Is(REG_BINARY, sizeof(LOGFONTA)));
}

// The whole program's round trip is in the black-box tests; these are the
// edges: full-length texts, a window off the left edge, the group names
// that are never stored.
TEST_F(RegistryTest, SettingsAtTheirLimitsSurviveARestart)
{
    Settings.windowRect = {-10, 20, 800, 600};
    Settings.toolbarCount = 5;
    const int32_t layout[5] = {40017, 0, 40004, 40123, 40099};
    memcpy(Settings.SavedToolbarLayout, layout, sizeof layout);
    const std::string longPath = "C:\\" + std::string(256, 'p');
    snprintf(Settings.outputPath, PATH_SIZE, "%s", longPath.c_str());
    snprintf(Settings.whoisServer, WHOIS_HOST_SIZE, "%s", std::string(127, 'w').c_str());
    for (int group = 0; group < GROUP_COUNT; ++group)
        snprintf(Settings.groupNames[group], GROUP_NAME_SIZE, "%s", std::string(39, 'a' + group).c_str());
    Settings.networkTimeout = 300;

    ASSERT_EQ(0, SaveAndReload());
    EXPECT_TRUE(ReadValue("", "Toolbar").Is(REG_BINARY, 20));
    EXPECT_TRUE(ReadValue("", "Output Path").Is(REG_SZ, 260));
    EXPECT_EQ(-10, Settings.windowRect.left);
    EXPECT_EQ(600, Settings.windowRect.bottom);
    ASSERT_EQ(5, Settings.toolbarCount);
    EXPECT_EQ(0, memcmp(layout, Settings.SavedToolbarLayout, sizeof layout));
    EXPECT_EQ(longPath, Settings.outputPath);
    EXPECT_EQ(std::string(127, 'w'), Settings.whoisServer);
    EXPECT_STREQ("Finger Mail", Settings.groupNames[0]) << "never stored";
    EXPECT_STREQ("Finger Status", Settings.groupNames[1]) << "never stored";
    for (int group = 2; group < GROUP_COUNT; ++group)
        EXPECT_EQ(std::string(39, 'a' + group), Settings.groupNames[group]);
    EXPECT_EQ(300u, Settings.networkTimeout);
}

// The black-box tests carry every profile value through the program; here
// the fields at full length and the run-time ones, which are not stored.
TEST_F(RegistryTest, StoredEntryFieldsSurviveARestartAndRunTimeFieldsDoNot)
{
    FingerEntry prototype;
    SetEntryDefaults(prototype);
    snprintf(prototype.description, DESCRIPTION_SIZE, "Full entry");
    snprintf(prototype.address, ADDRESS_SIZE, "%s", std::string(127, 'a').c_str());
    snprintf(prototype.iconFile, PATH_SIZE, "C:\\icons\\%s.ico", std::string(240, 'i').c_str());
    prototype.flags = FE_FINGER_AT_START | FE_AUTO_FINGER | FE_NOTIFY_CHANGES | FE_LOG_OUTPUT | FE_ADD_TIME |
                      FE_RECYCLE_OUTPUT | FE_LONG_OUTPUT | FE_HTML_NEVER | FE_ALL_GROUPS | FE_NOTIFY_OPEN;
    prototype.period = PERIOD_WEEKS;
    prototype.lastFingered = 1700000000;
    prototype.nextFinger = 1700003600;
    prototype.reserved1 = 7;
    prototype.reserved2 = 8;
    prototype.notifyWindow = reinterpret_cast<HWND>(0x1234);
    prototype.changed = 1;
    prototype.outputStart = 5;
    prototype.outputEnd = 50;
    ASSERT_NE(nullptr, AllocateFingerEntry(prototype));

    ASSERT_EQ(0, SaveAndReload());
    ASSERT_EQ(1u, EntryList.count);
    const FingerEntry& entry = *EntryList.head;
    EXPECT_STREQ(prototype.address, entry.address);
    EXPECT_STREQ(prototype.iconFile, entry.iconFile);
    EXPECT_EQ(prototype.flags & ~FE_NOTIFY_OPEN, entry.flags);
    EXPECT_EQ(static_cast<uint32_t>(PERIOD_WEEKS), entry.period);
    EXPECT_EQ(1700000000, entry.lastFingered);
    EXPECT_EQ(0, entry.nextFinger);
    EXPECT_EQ(0u, entry.reserved1);
    EXPECT_EQ(0u, entry.reserved2);
    EXPECT_EQ(nullptr, entry.notifyWindow);
    EXPECT_EQ(0u, entry.changed);
    EXPECT_EQ(0, entry.outputStart);
    EXPECT_EQ(0, entry.outputEnd);
}

TEST_F(RegistryTest, LoadClearsRunTimeBitsAndAppliesProfileRules)
{
    PutWord("Profiles\\Open", "Flags", FE_NOTIFY_OPEN | FE_TEMPORARY | FE_AUTO_FINGER);
    PutWord("Profiles\\Open", "Points", 39);
    PutWord("Profiles\\Forty", "Points", 40);
    PutWord("Profiles\\Forty", "Period", PERIOD_DAYS);
    PutWord("Profiles\\Forty", "Interval", 2);
    PutWord("Profiles\\Negative", "Points", 0xFFFFFF00u);
    LOGFONTA face = {};
    face.lfHeight = 30;
    PutValue("Profiles\\Negative", "Font", REG_BINARY, &face, sizeof face);
    snprintf(face.lfFaceName, LF_FACESIZE, "Arial");
    PutValue("Profiles\\Short font", "Font", REG_BINARY, &face, sizeof face - 1);
    ASSERT_EQ(0, Reload());

    ASSERT_EQ(4u, EntryList.count);
    const FingerEntry* open = FindEntry("Open");
    ASSERT_NE(nullptr, open);
    EXPECT_EQ(static_cast<uint32_t>(FE_AUTO_FINGER), open->flags);
    EXPECT_EQ(120u, open->points);
    EXPECT_EQ(0u, open->period) << "a missing period is Minutes";
    EXPECT_EQ(0u, open->interval);
    EXPECT_STREQ("", open->address);
    EXPECT_STREQ("", open->monitorFile);
    EXPECT_TRUE(SameFont(DefaultEntryFont, open->font)) << "a missing font is the default font";
    const FingerEntry* forty = FindEntry("Forty");
    ASSERT_NE(nullptr, forty);
    EXPECT_EQ(40u, forty->points);
    EXPECT_EQ(static_cast<uint32_t>(PERIOD_DAYS), forty->period);
    EXPECT_EQ(2u, forty->interval);
    const FingerEntry* negative = FindEntry("Negative");
    ASSERT_NE(nullptr, negative);
    EXPECT_EQ(120u, negative->points) << "points compare as signed";
    EXPECT_TRUE(SameFont(DefaultEntryFont, negative->font)) << "an empty face is the default font";
    const FingerEntry* shortFont = FindEntry("Short font");
    ASSERT_NE(nullptr, shortFont);
    EXPECT_TRUE(SameFont(DefaultEntryFont, shortFont->font)) << "a 59-byte font is not taken";
}

TEST_F(RegistryTest, NumbersOutsideTheirRangeLoadAsTheDefault)
{
    const struct {
        const char* name;
        uint32_t stored;
        int64_t loaded;
    } cases[] = {
        {"MaxAllocSize", 16383, 65536},        {"MaxAllocSize", 16384, 16384},
        {"MaxAllocSize", 1048576, 1048576},    {"MaxAllocSize", 1048577, 65536},
        {"MaxAllocSize", 0xFFFFFFFFu, 65536},  {"Display Split", 0xFFFFFFFFu, 4},
        {"Display Split", 0, 0},               {"Display Split", 9, 9},
        {"Display Split", 10, 4},              {"Display Split", 0x7FFFFFFF, 4},
        {"Network Timeout", 0, 60},            {"Network Timeout", 1, 1},
        {"Network Timeout", 3600, 3600},       {"Network Timeout", 3601, 60},
        {"Network Timeout", 0xFFFFFFFFu, 60},  {"Last Column Sorted", 4, 4},
        {"Last Column Sorted", 5, 0},          {"Last Column Sorted", 0xFFFFFFFFu, 0},
        {"LV Style", 3, 3},                    {"LV Style", 4, 1},
    };
    const auto field = [](const std::string& name) -> int64_t {
        if (name == "MaxAllocSize") {
            EXPECT_EQ(Settings.maxAllocSize, Settings.maxAllocSizeSaved);
            return Settings.maxAllocSize;
        }
        if (name == "Display Split")
            return Settings.DisplaySplit;
        if (name == "Network Timeout")
            return Settings.networkTimeout;
        if (name == "Last Column Sorted")
            return Settings.sortColumn;
        return Settings.listStyle;
    };
    for (const auto& c : cases) {
        PutWord("", c.name, c.stored);
        ASSERT_EQ(0, Reload());
        EXPECT_EQ(c.loaded, field(c.name)) << c.name << " " << c.stored;
    }

    PutText("", "WHOIS Server", "");
    ASSERT_EQ(0, Reload());
    EXPECT_STREQ(DEFAULT_WHOIS_SERVER, Settings.whoisServer) << "an empty whois host";
}

TEST_F(RegistryTest, ToolbarRules)
{
    const struct {
        const char* why;
        int64_t count;   // -1: no "NumButtons"
        int ids;         // -1: no "Toolbar"
        DWORD bytes;     // of the ids stored
        int32_t loaded;  // toolbarCount
    } cases[] = {
        {"a huge count takes at most 127", 200, 127, 127 * 4, 127},
        {"the 128th id is not read", 128, 128, 128 * 4, 127},
        {"a negative count is no layout of the user's own", 0x80000000u, 3, 12, -1},
        {"a layout longer than the field gives the default layout", 0x7FFFFFFF, 129, 129 * 4, -1},
        {"more ids than the count: the first ones", 3, 10, 40, 3},
        {"fewer ids than the count: the count follows", 9, 4, 16, 4},
        {"part of an id is not read", 2, 2, 7, -1},
        {"an empty toolbar stays empty", 0, 0, 0, 0},
        {"without a count the layout is not read", -1, 5, 20, -1},
        {"a count without a layout gives the default layout", 5, -1, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
        if (c.count >= 0)
            PutWord("", "NumButtons", static_cast<uint32_t>(c.count));
        std::vector<int32_t> ids(static_cast<size_t>(std::max(c.ids, 0)) + 1);
        for (size_t i = 0; i < ids.size(); ++i)
            ids[i] = 1000 + static_cast<int32_t>(i);
        if (c.ids >= 0)
            PutValue("", "Toolbar", REG_BINARY, ids.data(), c.bytes);
        ASSERT_EQ(0, Reload());
        ASSERT_EQ(c.loaded, Settings.toolbarCount);
        for (int i = 0; i < c.loaded; ++i)
            ASSERT_EQ(1000 + i, Settings.SavedToolbarLayout[i]) << i;
        EXPECT_EQ(0, Settings.SavedToolbarLayout[std::max(c.loaded, 0)]);
        if (c.loaded == 0) {
            SaveSettings();
            EXPECT_TRUE(ReadValue("", "Toolbar").Is(REG_BINARY, 0)) << "saved empty again";
        }
    }
}

TEST_F(RegistryTest, ValuesOfAnotherTypeAreReadAsTheirBytes)
{
    DWORD options = OPT_LOGGING | OPT_NETWORK;
    PutValue("", "Options", REG_DWORD, &options, sizeof options);
    PutValue("", "Display Split", REG_SZ, "\x02\0\0", 4);
    uint32_t width = 77;
    PutValue("", "Col2cx", REG_DWORD, &width, 4);
    PutValue("", "Log File", REG_BINARY, "C:\\log.txt", 10);  // no terminating NUL
    PutValue("", "User Browser", REG_EXPAND_SZ, "browser.exe", 12);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(static_cast<uint32_t>(OPT_LOGGING | OPT_NETWORK), Settings.options);
    EXPECT_EQ(2, Settings.DisplaySplit);
    EXPECT_EQ(77, Settings.columnWidths[1]);
    EXPECT_STREQ("C:\\log.txt", Settings.logFile);
    EXPECT_STREQ("browser.exe", Settings.userBrowser);
}

// A short value never leaves half a number behind; a text that does not fit
// its field with its NUL is not taken.
TEST_F(RegistryTest, ValuesOfTheWrongSizeLeaveTheirFields)
{
    PutValue("", "Options", REG_BINARY, "\x10\x00", 2);
    unsigned long long wide = 0x1122334455667788ull;
    PutValue("", "MaxAllocSize", REG_QWORD, &wide, 8);
    const int32_t rect[5] = {1, 2, 3, 4, 5};
    PutValue("", "Rect", REG_BINARY, rect, 15);
    PutValue("", "NumButtons", REG_BINARY, rect, 3);
    PutValue("", "Col1cx", REG_BINARY, rect, 5);
    PutText("", "Log File", std::string(260, 'l'));                                  // needs 261 bytes
    PutValue("", "Output Path", REG_BINARY, std::string(260, 'o').c_str(), 260);     // no room for the NUL
    PutText("", "Finger Entries Path", std::string(259, 'e'));                       // fits exactly
    PutText("", "Batch1Name", std::string(40, 'n'));
    PutText("", "Batch2Name", std::string(39, 'n'));
    PutText("", "WHOIS Server", std::string(128, 'w'));
    PutText("Profiles\\Odd", "Address", std::string(128, 'a'));
    PutText("Profiles\\Odd", "Monitor Log", "00000001.htm.long");
    PutValue("Profiles\\Odd", "Flags", REG_BINARY, "\x01\x02", 2);
    uint32_t count = 9;
    PutValue("Profiles\\Odd", "NumFingers", REG_DWORD, &count, 4);
    PutValue("Profiles\\Odd", "Points", REG_BINARY, "\x50\0\0\0\0", 5);
    LOGFONTA big[2] = {};
    snprintf(big[0].lfFaceName, LF_FACESIZE, "Arial");
    PutValue("Profiles\\Odd", "Font", REG_BINARY, big, 61);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(0x8008u, Settings.options);
    EXPECT_EQ(65536u, Settings.maxAllocSize);
    EXPECT_EQ(0, Settings.windowRect.right);
    EXPECT_EQ(-1, Settings.toolbarCount);
    EXPECT_EQ(196, Settings.columnWidths[0]);
    EXPECT_STREQ("", Settings.logFile);
    EXPECT_STREQ("", Settings.outputPath);
    EXPECT_EQ(std::string(259, 'e'), Settings.entriesPath);
    EXPECT_STREQ("Finger Group #1", Settings.groupNames[2]);
    EXPECT_EQ(std::string(39, 'n'), Settings.groupNames[3]);
    EXPECT_STREQ(DEFAULT_WHOIS_SERVER, Settings.whoisServer);
    ASSERT_EQ(1u, EntryList.count);
    const FingerEntry& entry = *EntryList.head;
    EXPECT_STREQ("", entry.address);
    EXPECT_STREQ("", entry.monitorFile);
    EXPECT_EQ(0u, entry.flags);
    EXPECT_EQ(9u, entry.fingerCount);
    EXPECT_EQ(120u, entry.points);
    EXPECT_TRUE(SameFont(DefaultEntryFont, entry.font));

    PutValue("", "Rect", REG_BINARY, rect, 17);
    PutValue("", "Options", REG_BINARY, rect, 0);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(0, Settings.windowRect.left);
    EXPECT_EQ(0x8008u, Settings.options);
    PutValue("", "Rect", REG_BINARY, rect, 16);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(1, Settings.windowRect.left);
    EXPECT_EQ(4, Settings.windowRect.bottom);
}

TEST_F(RegistryTest, LongProfileNamesGiveTheFirst127Characters)
{
    PutText("Profiles\\" + std::string(128, 'd'), "Address", "long@host");
    PutText("Profiles\\" + std::string(150, 'x') + std::string(50, 'y'), "Address", "longer@host");
    ASSERT_EQ(0, Reload());
    ASSERT_EQ(2u, EntryList.count);
    EXPECT_EQ(std::string(127, 'd'), EntryList.head->description);
    EXPECT_STREQ("long@host", EntryList.head->address);
    EXPECT_EQ(std::string(127, 'x'), EntryList.tail->description);
    EXPECT_STREQ("longer@host", EntryList.tail->address);
}

TEST_F(RegistryTest, EntriesLoadInEnumerationOrder)
{
    for (const char* name : {"zeta", "Alpha", "mid", "beta", "Zulu"})
        PutText(std::string("Profiles\\") + name, "Address", std::string(name) + "@host");
    const std::vector<std::string> order = Profiles();
    ASSERT_EQ(5u, order.size());
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(order, Descriptions());
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        EXPECT_EQ(std::string(entry->description) + "@host", entry->address);
}

TEST_F(RegistryTest, SaveReplacesTheStoredProfilesAndSkipsTemporaryEntries)
{
    AddTestEntry("Keep", "keep@host");
    AddTestEntry("Drop", "drop@host");
    ASSERT_EQ(0, SaveAndReload());
    ASSERT_EQ(2u, EntryList.count);
    FreeFingerEntry(FindEntry("Drop"));
    snprintf(FindEntry("Keep")->description, DESCRIPTION_SIZE, "Renamed");
    AddTestEntry("New", "new@host");
    AddTestEntry("", "quick@host", FE_TEMPORARY);
    ASSERT_EQ(0, SaveAndReload());
    EXPECT_EQ((std::vector<std::string>{"New", "Renamed"}), Profiles());
    EXPECT_EQ((std::vector<std::string>{"New", "Renamed"}), Descriptions());
    EXPECT_STREQ("keep@host", FindEntry("Renamed")->address);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("Profiles", "Address").result);
}

TEST_F(RegistryTest, EntriesOfOneNameInAnyCaseAreAllKept)
{
    AddTestEntry("Mail", "first@host")->fingerCount = 1;
    AddTestEntry("mail", "second@host")->fingerCount = 2;
    AddTestEntry("MAIL", "third@host")->fingerCount = 3;
    SaveSettings();

    // The first in list order has the plain name and the plain layout; the
    // later ones are stored under copy names that read back as valid entries.
    const std::vector<std::string> keys = {"Mail", "mail (2)", "MAIL (3)"};
    EXPECT_EQ(keys, Profiles());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("Profiles\\Mail", PROFILE_DESCRIPTION_VALUE).result);
    EXPECT_EQ("second@host", ReadValue("Profiles\\mail (2)", "Address").Text());
    EXPECT_TRUE(ReadValue("Profiles\\mail (2)", PROFILE_DESCRIPTION_VALUE).Is(REG_SZ, 5));
    EXPECT_EQ("mail", ReadValue("Profiles\\mail (2)", PROFILE_DESCRIPTION_VALUE).Text());
    EXPECT_EQ("MAIL", ReadValue("Profiles\\MAIL (3)", PROFILE_DESCRIPTION_VALUE).Text());

    ASSERT_EQ(0, Reload());
    EXPECT_EQ((std::vector<std::string>{"Mail", "mail", "MAIL"}), Descriptions());
    const char* addresses[] = {"first@host", "second@host", "third@host"};
    uint32_t count = 1;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next, ++count) {
        EXPECT_STREQ(addresses[count - 1], entry->address);
        EXPECT_EQ(count, entry->fingerCount);
    }

    // A further restart keeps them all again.
    ASSERT_EQ(0, SaveAndReload());
    EXPECT_EQ(3u, EntryList.count);
    EXPECT_EQ(keys, Profiles());
}

TEST_F(RegistryTest, CopyNamesNeverTakeAnotherEntrysName)
{
    AddTestEntry("Home", "1@host");
    AddTestEntry("home", "2@host");
    AddTestEntry("Home (2)", "3@host");
    AddTestEntry("home (2)", "4@host");
    ASSERT_EQ(0, SaveAndReload());
    ASSERT_EQ(4u, EntryList.count);
    EXPECT_STREQ("1@host", FindEntry("Home")->address);
    EXPECT_STREQ("2@host", FindEntry("home")->address);
    EXPECT_STREQ("3@host", FindEntry("Home (2)")->address);
    EXPECT_STREQ("4@host", FindEntry("home (2)")->address);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("Profiles\\Home (2)", PROFILE_DESCRIPTION_VALUE).result)
        << "an entry whose own name is free keeps it";
}

TEST_F(RegistryTest, LongDescriptionsInAnyCaseAreAllKept)
{
    const std::string upper(127, 'Q');
    const std::string lower(127, 'q');
    AddTestEntry(upper.c_str(), "upper@host");
    AddTestEntry(lower.c_str(), "lower@host");
    SaveSettings();
    const std::vector<std::string> keys = Profiles();
    ASSERT_EQ(2u, keys.size());
    for (const std::string& key : keys)
        EXPECT_LE(key.size(), 127u);
    ASSERT_EQ(0, Reload());
    ASSERT_NE(nullptr, FindEntry(upper));
    ASSERT_NE(nullptr, FindEntry(lower));
    EXPECT_STREQ("lower@host", FindEntry(lower)->address);
}

TEST_F(RegistryTest, DescriptionsThatCannotBeKeyNamesSurvive)
{
    AddTestEntry("work\\server", "slash@host");
    AddTestEntry("", "empty@host");
    SaveSettings();
    EXPECT_EQ((std::vector<std::string>{EMPTY_DESCRIPTION_PROFILE, "work/server"}), Profiles());
    EXPECT_TRUE(SubkeyNames(ProgramKey("Profiles\\work/server")).empty());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("Profiles", "Address").result) << "nothing in the profiles key itself";
    ASSERT_EQ(0, Reload());
    ASSERT_EQ(2u, EntryList.count);
    ASSERT_NE(nullptr, FindEntry("work\\server"));
    EXPECT_STREQ("slash@host", FindEntry("work\\server")->address);
    ASSERT_NE(nullptr, FindEntry(""));
    EXPECT_STREQ("empty@host", FindEntry("")->address);
}

TEST_F(RegistryTest, ADescriptionValueThatDoesNotMatchItsKeyIsIgnored)
{
    PutText("Profiles\\Renamed by hand", "Address", "a@host");
    PutText("Profiles\\Renamed by hand", PROFILE_DESCRIPTION_VALUE, "Original");
    PutText("Profiles\\x (2)", "Address", "b@host");
    PutText("Profiles\\x (2)", PROFILE_DESCRIPTION_VALUE, "X");
    PutText("Profiles\\y (3)", "Address", "c@host");
    PutText("Profiles\\y (3)", PROFILE_DESCRIPTION_VALUE, "z");
    ASSERT_EQ(0, Reload());
    EXPECT_EQ((std::vector<std::string>{"Renamed by hand", "x (2)", "y (3)"}), Descriptions());
    PutText("Profiles\\x (2)", PROFILE_DESCRIPTION_VALUE, "x");
    ASSERT_EQ(0, Reload());
    EXPECT_EQ((std::vector<std::string>{"Renamed by hand", "x", "y (3)"}), Descriptions());
}

TEST_F(RegistryTest, NothingIsWrittenUnlessSaveAtExitIsOne)
{
    AddTestEntry("Entry", "user@host");
    Settings.saveAtExit = 0;
    SaveSettings();
    EXPECT_FALSE(KeyExists(PROGRAM_KEY_PATH));

    Settings.saveAtExit = 1;
    SaveSettings();
    ASSERT_TRUE(KeyExists(ProgramKey("Profiles\\Entry")));
    FreeAllEntries();
    Settings.options = 0;
    for (int saveAtExit : {0, 2}) {
        Settings.saveAtExit = saveAtExit;
        SaveSettings();
        EXPECT_EQ(0x8008u, ReadValue("", "Options").Word());
        EXPECT_TRUE(KeyExists(ProgramKey("Profiles\\Entry")));
    }
}

TEST_F(RegistryTest, DeleteProfilesRemovesEverySubkey)
{
    for (const char* name : {"a", "B", "c", "d"})
        PutText(std::string("Profiles\\") + name, "Address", "x");
    PutText("Profiles\\nested\\deeper\\deepest", "Address", "z");
    PutText("Profiles\\nested\\deeper", "Address", "y");
    PutWord("", "Options", 1);
    DeleteProfiles();
    EXPECT_TRUE(KeyExists(PROFILES_KEY_PATH));
    EXPECT_TRUE(Profiles().empty());
    EXPECT_EQ(1u, ReadValue("", "Options").Word()) << "settings values stay";
    DeleteProfiles();  // nothing left to delete
    DeleteKeyTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
    DeleteProfiles();  // no profiles key at all
    EXPECT_FALSE(KeyExists(PROGRAM_KEY_PATH));
}

// Gives a key a DACL that allows only the listed rights to everyone; no
// rights at all when access is 0.
void RestrictKey(const std::string& path, DWORD access)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key));
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    alignas(DWORD) unsigned char aclBuffer[256];
    ACL* acl = reinterpret_cast<ACL*>(aclBuffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION));
    if (access) {
        ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, access, everyone));
    }
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor));
    FreeSid(everyone);
    RegCloseKey(key);
}

// True when the key cannot be opened with these rights.
bool Refused(const std::string& path, REGSAM access)
{
    HKEY probe;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &probe) != ERROR_SUCCESS)
        return true;
    RegCloseKey(probe);
    return false;
}

TEST_F(RegistryTest, AProfileThatCannotBeOpenedStopsTheLoadAndIsKept)
{
    for (const char* name : {"alpha", "beta", "gamma"})
        PutText(std::string("Profiles\\") + name, "Address", std::string(name) + "@host");
    RestrictKey(ProgramKey("Profiles\\beta"), 0);
    if (!Refused(ProgramKey("Profiles\\beta"), KEY_READ))
        GTEST_SKIP() << "this registry does not enforce key security";
    ASSERT_EQ(0, Reload());
    std::vector<AnsweredBox> boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Couldn't open profile subkey", boxes[0].caption);
    EXPECT_EQ((std::vector<std::string>{"alpha"}), Descriptions()) << "the entries read so far stay";
    EXPECT_EQ(1, Settings.saveAtExit);

    // The save keeps what the load could not read.
    AddTestEntry("delta", "delta@host");
    SaveSettings();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ((std::vector<std::string>{"alpha", "beta", "delta", "gamma"}), Profiles());
    EXPECT_EQ("gamma@host", ReadValue("Profiles\\gamma", "Address").Text());
    EXPECT_EQ("delta@host", ReadValue("Profiles\\delta", "Address").Text());

    // An entry of an unread profile's name goes elsewhere rather than over it.
    AddTestEntry("Gamma", "new gamma@host");
    SaveSettings();
    EXPECT_EQ("gamma@host", ReadValue("Profiles\\gamma", "Address").Text());
    EXPECT_EQ("new gamma@host", ReadValue("Profiles\\Gamma (2)", "Address").Text());
}

TEST_F(RegistryTest, AFailedProgramKeyKeepsTheStoredProfiles)
{
    AddTestEntry("Stored", "stored@host");
    SaveSettings();
    RestrictKey(PROGRAM_KEY_PATH, KEY_READ | WRITE_DAC);
    if (!Refused(PROGRAM_KEY_PATH, KEY_ALL_ACCESS))
        GTEST_SKIP() << "this registry does not enforce key security";
    FreeAllEntries();
    SaveSettings();
    std::vector<AnsweredBox> boxes = TakeBoxes();
    RestrictKey(PROGRAM_KEY_PATH, KEY_ALL_ACCESS);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Couldn't create program registry key", boxes[0].caption);
    EXPECT_EQ("stored@host", ReadValue("Profiles\\Stored", "Address").Text());
}

}  // namespace
