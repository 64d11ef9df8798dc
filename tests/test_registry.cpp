// The edges of loading and saving; what a plain save writes and reads back is
// held by the recorded image of test_stored_formats.
#include "entries/registry.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "support/program_fixture.h"
#include "support/registry_values.h"

namespace {

constexpr char COMPANY_KEY_PATH[] = "Software\\Corvale Software";

// "description=address" of every listed entry, sorted.
std::vector<std::string> Entries()
{
    std::vector<std::string> entries;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        entries.push_back(std::string(entry->description) + "=" + entry->address);
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Every test starts with no program key and a first-run load, and expects no
// registry error unless it takes them.
class RegistryTest : public testing::Test {
protected:
    RegistryErrors errors;

    void SetUp() override
    {
        FetchDefaultEntryFont();
        DeleteKeyTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
        Reload();
    }
    void TearDown() override
    {
        for (const RegistryError& error : errors)
            ADD_FAILURE() << "unexpected error " << error.code << ": " << error.title;
        FreeAllEntries();
        DeleteKeyTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
    }
    void Reload() { ASSERT_EQ(0, LoadSettings(errors)); }
    void Save() { SaveSettings(errors); }
};

TEST_F(RegistryTest, FirstRunWritesNothingAndSavesOnlyWhenSaveAtExitIsOne)
{
    EXPECT_EQ(1, Settings.saveAtExit);
    const RawValue startup = ReadValueAt(SHELL_FOLDERS_KEY_PATH, "Startup");
    EXPECT_EQ(startup.result == ERROR_SUCCESS ? startup.Text() : "", Settings.startupFolder);
    AddTestEntry("Entry", "user@host");
    AddTestEntry("", "quick@host", FE_TEMPORARY);
    Settings.saveAtExit = 0;
    Save();
    EXPECT_TRUE(SubkeyNames(COMPANY_KEY_PATH).empty()) << "neither the load nor this save writes";
    Settings.saveAtExit = 1;
    Save();
    EXPECT_EQ(0xFFFFFFFFu, ReadValue("", "NumButtons").Word());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("", "Toolbar").result) << "no layout of the user's own";
    EXPECT_EQ(std::vector<std::string>{"Entry"}, SubkeyNames(PROFILES_KEY_PATH)) << "temporary entries are not stored";

    FreeAllEntries();
    AddTestEntry("New", "new@host");
    Settings.saveAtExit = 2;
    Save();
    EXPECT_EQ(std::vector<std::string>{"Entry"}, SubkeyNames(PROFILES_KEY_PATH));
    PutText("Profiles\\Entry\\nested\\deeper", "Address", "x");
    Settings.saveAtExit = 1;
    Save();
    EXPECT_EQ(std::vector<std::string>{"New"}, SubkeyNames(PROFILES_KEY_PATH)) << "a save replaces every profile";
}

TEST_F(RegistryTest, NumbersOutsideTheirRangeLoadAsTheDefault)
{
    const struct {
        const char* name;
        const void* field;  // of 4 bytes
        std::vector<std::pair<uint32_t, uint32_t>> storedAndLoaded;
    } settings[] = {
        {"MaxAllocSize", &Settings.maxAllocSize, {{16383, 65536}, {16384, 16384}, {1048576, 1048576}, {1048577, 65536}}},
        {"Display Split", &Settings.DisplaySplit, {{0xFFFFFFFFu, 4}, {0, 0}, {9, 9}, {10, 4}}},
        {"Network Timeout", &Settings.networkTimeout, {{0, 60}, {1, 1}, {3600, 3600}, {3601, 60}}},
        {"Last Column Sorted", &Settings.sortColumn, {{4, 4}, {5, 0}, {0xFFFFFFFFu, 0}}},
        {"LV Style", &Settings.listStyle, {{3, 3}, {4, 1}}},
    };
    for (const auto& setting : settings) {
        for (const auto& [stored, loaded] : setting.storedAndLoaded) {
            PutWord("", setting.name, stored);
            Reload();
            uint32_t value;
            memcpy(&value, setting.field, sizeof value);
            EXPECT_EQ(loaded, value) << setting.name << " " << stored;
            EXPECT_EQ(Settings.maxAllocSize, Settings.maxAllocSizeSaved) << "only a size in range is saved again";
        }
    }
}

TEST_F(RegistryTest, ToolbarRules)
{
    // "NumButtons", the bytes of "Toolbar" (ids 1000 and up), the count loaded.
    const std::tuple<int64_t, int64_t, int32_t> cases[] = {
        {200, 128 * 4, 128},        // a huge count takes at most a full layout
        {0x80000000u, 12, -1},      // a negative count is no layout of the user's own
        {0x7FFFFFFF, 129 * 4, -1},  // a layout longer than the field gives the default layout
        {3, 40, 3},                 // more ids than the count: the first ones
        {9, 16, 4},                 // fewer ids than the count: the count follows
        {2, 7, -1},                 // part of an id is not read
        {0, 0, 0},                  // an empty toolbar stays empty
    };
    std::vector<int32_t> ids(TOOLBAR_MAX + 1);
    std::iota(ids.begin(), ids.end(), 1000);
    for (const auto& [count, bytes, loaded] : cases) {
        SCOPED_TRACE(count);
        PutWord("", "NumButtons", static_cast<uint32_t>(count));
        PutValue("", "Toolbar", REG_BINARY, ids.data(), static_cast<DWORD>(bytes));
        Reload();
        EXPECT_EQ(loaded, Settings.toolbarCount);
        std::vector<int32_t> layout(TOOLBAR_MAX, 0);
        std::copy_n(ids.begin(), std::max(loaded, 0), layout.begin());
        EXPECT_EQ(layout, std::vector<int32_t>(Settings.SavedToolbarLayout, Settings.SavedToolbarLayout + TOOLBAR_MAX));
    }
    Save();
    EXPECT_TRUE(ReadValue("", "Toolbar").Is(REG_BINARY, 0)) << "an empty toolbar is saved empty again";
}

// A text is taken whatever its type when it fits its field together with a
// NUL, whether or not the stored bytes end with one.
TEST_F(RegistryTest, TextsAreTakenOnlyWhenTheyFitWithTheirNul)
{
    PutValue("", "Log File", REG_BINARY, "C:\\log.txt", 10);
    PutValue("", "User Browser", REG_BINARY, std::string(260, 'b').c_str(), 260);
    PutText("", "Output Path", std::string(260, 'o'));
    PutText("", "Finger Entries Path", std::string(259, 'e'));
    PutText("", "Batch2Name", std::string(39, 'n'));
    PutText("", "WHOIS Server", std::string(128, 'w'));
    Reload();
    EXPECT_STREQ("C:\\log.txt", Settings.logFile);
    EXPECT_STREQ("", Settings.userBrowser);
    EXPECT_STREQ("", Settings.outputPath);
    EXPECT_EQ(std::string(259, 'e'), Settings.entriesPath);
    EXPECT_EQ(std::string(39, 'n'), Settings.groupNames[3]);
    EXPECT_STREQ(DEFAULT_WHOIS_SERVER, Settings.whoisServer);
}

// A number or a font is taken whatever its type, but only at its field's
// size, so a short one never leaves half a number behind. The load clears
// the run-time flags, and below 40 points or without a face gives the default.
TEST_F(RegistryTest, ProfileValuesAtTheirSizeAndProfileRules)
{
    const DWORD count = 9;
    PutWord("Profiles\\Open", "Flags", FE_NOTIFY_OPEN | FE_TEMPORARY | FE_AUTO_FINGER);
    PutWord("Profiles\\Open", "Points", 39);
    PutWord("Profiles\\Forty", "Points", 40);
    PutWord("Profiles\\Negative", "Points", 0xFFFFFF00u);
    PutText("Profiles\\Odd", "Address", std::string(128, 'a'));
    PutValue("Profiles\\Odd", "Flags", REG_BINARY, "\x01\x02", 2);
    PutValue("Profiles\\Odd", "Points", REG_BINARY, "\x50\0", 3);
    PutValue("Profiles\\Odd", "NumFingers", REG_DWORD, &count, sizeof count);
    LOGFONTA fonts[2] = {};
    fonts[0].lfHeight = 30;
    PutValue("Profiles\\Negative", "Font", REG_BINARY, fonts, sizeof fonts[0]);
    snprintf(fonts[0].lfFaceName, LF_FACESIZE, "Arial");
    PutValue("Profiles\\Open", "Font", REG_BINARY, fonts, sizeof fonts[0] - 1);
    PutValue("Profiles\\Odd", "Font", REG_BINARY, fonts, sizeof fonts[0] + 1);
    PutValue("Profiles\\Forty", "Font", REG_BINARY, fonts, sizeof fonts[0]);
    Reload();
    EXPECT_EQ((std::vector<std::string>{"Forty=", "Negative=", "Odd=", "Open="}), Entries());
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        const std::string name = entry->description;
        SCOPED_TRACE(name);
        EXPECT_EQ(name == "Forty" ? 40u : 120u, entry->points) << "points compare as signed";
        EXPECT_EQ(name != "Forty", memcmp(&DefaultEntryFont, &entry->font, sizeof entry->font) == 0);
        EXPECT_EQ(name == "Open" ? FE_AUTO_FINGER : 0u, entry->flags);
        EXPECT_EQ(name == "Odd" ? count : 0u, entry->fingerCount) << "a value of another type";
        EXPECT_EQ(0u, entry->period) << "a missing period is Minutes";
    }
}

// Key names ignore case, cannot hold a backslash and are at most 255
// characters; every entry still gets a key of its own and comes back as it
// was. A "Description" value counts only where a save could have written it,
// so a key renamed by hand keeps its name.
TEST_F(RegistryTest, EveryEntryGetsAKeyOfItsOwn)
{
    std::vector<std::string> entries = {"Home=1@host", "home=2@host", "Home (2)=3@host", "home (2)=4@host",
                                        std::string(127, 'Q') + "=5@host", std::string(127, 'q') + "=6@host",
                                        "work\\server=7@host", "=8@host"};
    for (const std::string& entry : entries)
        AddTestEntry(entry.substr(0, entry.find('=')).c_str(), entry.substr(entry.find('=') + 1).c_str());
    Save();
    std::vector<std::string> keys = SubkeyNames(PROFILES_KEY_PATH);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ((std::vector<std::string>{EMPTY_DESCRIPTION_PROFILE, "Home", "Home (2)", std::string(127, 'Q'),
                                        "home (2) (2)", "home (3)", std::string(123, 'q') + " (2)", "work/server"}),
              keys);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("Profiles\\Home (2)", PROFILE_DESCRIPTION_VALUE).result)
        << "an entry whose own name is free keeps it";

    const std::pair<std::string, const char*> byHand[] = {
        {"Renamed by hand", "Original"}, {"x (2)", "X"}, {"y (3)", "z"}, {"w (3)", "w"}, {std::string(200, 'd'), ""}};
    for (const auto& [key, description] : byHand) {
        PutText("Profiles\\" + key, "Address", "a@host");
        if (description[0])
            PutText("Profiles\\" + key, PROFILE_DESCRIPTION_VALUE, description);
    }
    Reload();
    entries.insert(entries.end(), {"Renamed by hand=a@host", std::string(127, 'd') + "=a@host", "w=a@host",
                                   "x (2)=a@host", "y (3)=a@host"});
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, Entries());
}

// Gives a key the DACL of an SDDL text; true when the registry then refuses
// to open it for these rights.
bool RestrictKey(const std::string& path, const char* dacl, REGSAM refused)
{
    HKEY key;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1, &descriptor, nullptr))
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    RegCloseKey(key);
    const bool opened = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, refused, &key) == ERROR_SUCCESS;
    if (opened)
        RegCloseKey(key);
    return !opened;
}

// A load that cannot open a profile stops there; the save keeps the profiles
// it could not read, and a save without the program key keeps them all.
TEST_F(RegistryTest, FailuresKeepTheStoredProfiles)
{
    for (const char* name : {"alpha", "beta", "gamma"})
        PutText(std::string("Profiles\\") + name, "Address", std::string(name) + "@host");
    if (!RestrictKey(ProgramKey("Profiles\\beta"), "D:", KEY_READ))
        GTEST_SKIP() << "this registry does not enforce key security";
    Reload();
    ASSERT_EQ(1u, errors.size());
    EXPECT_STREQ("Couldn't open profile subkey", errors[0].title);
    errors.clear();
    EXPECT_EQ(std::vector<std::string>{"alpha=alpha@host"}, Entries());
    EXPECT_EQ(1, Settings.saveAtExit);
    AddTestEntry("Gamma", "new gamma@host");  // not over the unread "gamma"
    Save();
    const std::vector<std::string> kept = {"alpha", "beta", "gamma", "Gamma (2)"};
    EXPECT_EQ(kept, SubkeyNames(PROFILES_KEY_PATH));
    EXPECT_EQ("gamma@host", ReadValue("Profiles\\gamma", "Address").Text());
    EXPECT_EQ("new gamma@host", ReadValue("Profiles\\Gamma (2)", "Address").Text());

    FreeAllEntries();
    RestrictKey(PROGRAM_KEY_PATH, "D:(A;;KRWD;;;WD)", KEY_ALL_ACCESS);
    Save();
    RestrictKey(PROGRAM_KEY_PATH, "D:(A;;KA;;;WD)", 0);
    ASSERT_EQ(1u, errors.size());
    EXPECT_STREQ("Couldn't create program registry key", errors[0].title);
    errors.clear();
    EXPECT_EQ(kept, SubkeyNames(PROFILES_KEY_PATH));
}

}
