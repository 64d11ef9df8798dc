// Loading and saving settings and entries. Both builds write and read the same recorded images in tests/data.
#include "entries/registry.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "support/program_fixture.h"
#include "support/registry_values.h"
#include "support/test_files.h"

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

// Every test starts with no program key and a first-run load, and expects no registry error it does not take.
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
};

// A mismatch leaves what this build wrote beside the test, to compare or record.
std::string ExpectRecorded(const char* name, const std::string& written)
{
    const std::string recorded = ReadWholeFile(std::string(OMBRELANE_TEST_DATA) + "/" + name);
    EXPECT_TRUE(written == recorded) << name << " differs; this build's bytes are in " << name << ".actual";
    if (written != recorded)
        WriteWholeFile(std::string(name) + ".actual", written);
    return recorded;
}

// Every field set to a value of its own, so a moved or resized field shows.
FingerEntry SampleEntry(const char* description)
{
    FingerEntry entry{.description = {}, .address = "alice@relay@lab.example.org", .monitorFile = "00000042.htm",
                      .flags = FE_AUTO_FINGER | FE_LOG_OUTPUT | FE_GROUP_MAIL | FE_GROUP_2, .period = PERIOD_HOURS,
                      .interval = 7, .fingerCount = 1234567, .lastFingered = 1700000000, .reserved1 = 0,
                      .nextFinger = 1700003600, .reserved2 = 0, .colour = 0x00336699, .points = 105,
                      .font = {-14, 0, 0, 0, FW_BOLD, 1, 0, 0, ANSI_CHARSET, 0, 0, 0, FIXED_PITCH | FF_MODERN,
                               "Courier New"},
                      .notifyWindow = nullptr, .changed = 1, .outputStart = 100, .outputEnd = 2000,
                      .iconFile = "C:\\Icons\\lab.ico", .iconIndex = 3, .prev = nullptr, .next = nullptr};
    snprintf(entry.description, sizeof entry.description, "%s", description);
    return entry;
}

// Every key and value below the program key, in a stable order, as text.
std::string ProgramKeyImage()
{
    std::string image;
    std::vector<std::string> keys = {""};
    for (const std::string& profile : SubkeyNames(PROFILES_KEY_PATH))
        keys.push_back("Profiles\\" + profile);
    for (const std::string& key : keys) {
        image += "[" + key + "]\n";
        for (const auto& [name, value] : AllValues(key)) {
            image += name + "=" + std::to_string(value.type) + ":";
            for (unsigned char byte : value.bytes)
                image += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
            image += "\n";
        }
    }
    return image;
}

// Only a save with "Save At Exit" 1 writes anything, and temporary entries are never stored.
TEST_F(RegistryTest, RecordedImagesOfAnEntryRecordAndASave)
{
    unsigned char record[ENTRY_RECORD_SIZE];
    EntryToRecordImage(SampleEntry("Alice at the lab"), record);
    std::string recordedEntry = ExpectRecorded("entry_record.bin", {reinterpret_cast<char*>(record), sizeof record});
    recordedEntry.resize(sizeof record);
    FingerEntry read;
    EntryFromRecordImage(reinterpret_cast<const unsigned char*>(recordedEntry.data()), read);
    EntryToRecordImage(read, record);
    EXPECT_EQ(recordedEntry, std::string(reinterpret_cast<char*>(record), sizeof record)) << "the record reads back";
    AddTestEntry("", "quick@host", FE_TEMPORARY);
    for (int saveAtExit : {0, 2, 1}) {
        EXPECT_TRUE(SubkeyNames(COMPANY_KEY_PATH).empty()) << "neither the load nor a save at " << saveAtExit;
        Settings.saveAtExit = saveAtExit;
        SaveSettings(errors);
    }
    Settings.options = OPT_WELCOME_SHOWN | OPT_LOGGING | OPT_NETWORK | OptSortToggle(2);
    Settings.maxAllocSizeSaved = 131072;
    Settings.windowRect = {-8, 20, 1030, 790};
    Settings.toolbarCount = 3;
    std::ranges::copy(std::initializer_list<int32_t>{40001, -1, 40017}, Settings.SavedToolbarLayout);
    Settings.DisplaySplit = 6;
    snprintf(Settings.logFile, sizeof Settings.logFile, "D:\\Logs\\fingers.txt");
    snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "whois.example.net");
    snprintf(Settings.groupNames[2], sizeof Settings.groupNames[2], "Friends");
    Settings.sortColumn = 3;
    for (int c = 0; c < LIST_COLUMNS; ++c)
        Settings.columnWidths[c] = 60 + 10 * c;
    Settings.networkTimeout = 90;
    AllocateFingerEntry(SampleEntry("Alice at the lab"));
    AllocateFingerEntry(SampleEntry("ALICE AT THE LAB"));
    SaveSettings(errors);
    const std::string recorded = ExpectRecorded("registry.txt", ProgramKeyImage());
    Reload();
    DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
    SaveSettings(errors);
    EXPECT_EQ(recorded, ProgramKeyImage()) << "a load and a save give the same bytes again";
}

// A text of any type is taken when it fits its field with a NUL (stored or not); a number or a font only at its size.
// The load clears the run-time flags; points below 40 (compared as signed) or a font without a face give the default.
TEST_F(RegistryTest, ValuesOutOfRangeTooLongOrOfTheWrongSizeLoadAsTheDefault)
{
    const DWORD count = 9;
    PutWord("Profiles\\Open", "Flags", FE_NOTIFY_OPEN | FE_TEMPORARY | FE_AUTO_FINGER);
    PutWord("Profiles\\Open", "Points", 39);
    PutWord("Profiles\\Forty", "Points", 40);
    PutWord("Profiles\\Negative", "Points", 0xFFFFFF00u);
    PutValue("Profiles\\Odd", "Flags", REG_BINARY, "\x01\x02", 2);
    PutValue("Profiles\\Odd", "NumFingers", REG_DWORD, &count, sizeof count);
    LOGFONTA fonts[2] = {};
    fonts[0].lfHeight = 30;
    PutValue("Profiles\\Negative", "Font", REG_BINARY, fonts, sizeof fonts[0]);
    snprintf(fonts[0].lfFaceName, LF_FACESIZE, "Arial");
    PutValue("Profiles\\Odd", "Font", REG_BINARY, fonts, sizeof fonts[0] + 1);
    PutValue("Profiles\\Forty", "Font", REG_BINARY, fonts, sizeof fonts[0]);
    PutValue("", "Log File", REG_BINARY, "C:\\log.txt", 10);
    PutValue("", "User Browser", REG_BINARY, std::string(260, 'b').c_str(), 260);
    PutText("", "Finger Entries Path", std::string(259, 'e'));
    PutText("", "WHOIS Server", std::string(128, 'w'));
    std::vector<int32_t> layout(TOOLBAR_MAX, 40001);  // a full layout, as a save stores it
    layout.back() = 40017;
    PutValue("", "Toolbar", REG_BINARY, layout.data(), TOOLBAR_MAX * sizeof(int32_t));
    const std::tuple<const char*, const void*, std::vector<std::pair<uint32_t, uint32_t>>> settings[] = {
        {"MaxAllocSize", &Settings.maxAllocSize,
         {{16383, 65536}, {16384, 16384}, {1048576, 1048576}, {1048577, 65536}}},
        {"Display Split", &Settings.DisplaySplit, {{0xFFFFFFFFu, 4}, {0, 0}, {9, 9}, {10, 4}}},
        {"Network Timeout", &Settings.networkTimeout, {{0, 60}, {1, 1}, {3600, 3600}, {3601, 60}}},
        {"Last Column Sorted", &Settings.sortColumn, {{4, 4}, {5, 0}, {0xFFFFFFFFu, 0}}},
        {"LV Style", &Settings.listStyle, {{3, 3}, {4, 1}}},
        {"NumButtons", &Settings.toolbarCount, {{3, 3}, {TOOLBAR_MAX, TOOLBAR_MAX}}},  // the first ids, or all
    };
    for (const auto& [name, field, storedAndLoaded] : settings) {
        for (const auto& [stored, loaded] : storedAndLoaded) {
            PutWord("", name, stored);
            Reload();
            EXPECT_EQ(loaded, *static_cast<const uint32_t*>(field)) << name << " " << stored;
            EXPECT_EQ(Settings.maxAllocSize, Settings.maxAllocSizeSaved) << "only a size in range is saved again";
        }
    }
    EXPECT_STREQ("C:\\log.txt", Settings.logFile);
    EXPECT_STREQ("", Settings.userBrowser);
    EXPECT_EQ(std::string(259, 'e'), Settings.entriesPath);
    EXPECT_STREQ(DEFAULT_WHOIS_SERVER, Settings.whoisServer);
    EXPECT_EQ(40017, Settings.SavedToolbarLayout[TOOLBAR_MAX - 1]);
    EXPECT_EQ((std::vector<std::string>{"Forty=", "Negative=", "Odd=", "Open="}), Entries());
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        const std::string name = entry->description;
        EXPECT_EQ(name == "Forty" ? 40u : 120u, entry->points) << name;
        EXPECT_EQ(name != "Forty", memcmp(&DefaultEntryFont, &entry->font, sizeof entry->font) == 0) << name;
        EXPECT_EQ(name == "Open" ? FE_AUTO_FINGER : 0u, entry->flags) << name;
        EXPECT_EQ(name == "Odd" ? count : 0u, entry->fingerCount) << name;
    }
}

// Key names ignore case, hold no backslash and have at most 255 characters, yet every entry gets a key of its own.
// A "Description" counts only where a save could have written it, so a key renamed by hand keeps its name.
TEST_F(RegistryTest, EveryEntryGetsAKeyOfItsOwn)
{
    std::vector<std::string> entries = {"Home=1@host", "home=2@host", "Home (2)=3@host", "home (2)=4@host",
                                        std::string(127, 'Q') + "=5@host", std::string(127, 'q') + "=6@host",
                                        "work\\server=7@host", "=8@host"};
    for (const std::string& entry : entries)
        AddTestEntry(entry.substr(0, entry.find('=')).c_str(), entry.substr(entry.find('=') + 1).c_str());
    PutText("Profiles\\Stale\\nested", "Address", "x");  // a save replaces every profile
    SaveSettings(errors);
    std::vector<std::string> keys = SubkeyNames(PROFILES_KEY_PATH);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ((std::vector<std::string>{EMPTY_DESCRIPTION_PROFILE, "Home", "Home (2)", std::string(127, 'Q'),
                                        "home (2) (2)", "home (3)", std::string(123, 'q') + " (2)", "work/server"}),
              keys);

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

// A save leaves alone only profiles untouched since the load and holding what it would write: after any change, in
// the program or by hand, the stored profiles are those a save into an empty registry stores.
TEST_F(RegistryTest, ASaveAfterAnyChangeStoresWhatAFullSaveStores)
{
    const auto find = [](const char* description) {
        FingerEntry* entry = EntryList.head;
        while (entry && strcmp(entry->description, description) != 0)
            entry = entry->next;
        return entry;
    };
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"none", [] {}},
        {"a count", [&] { ++find("beta")->fingerCount; }},
        {"a description", [&] { snprintf(find("beta")->description, DESCRIPTION_SIZE, "Beta"); }},
        {"a deletion", [&] { FreeFingerEntry(find("alpha")); }},
        {"an addition", [] { AddTestEntry("delta", "d@host"); }},
        {"a value by hand", [] { PutWord("Profiles\\gamma", "Flags", 7); }},
        {"a new value by hand", [] { PutText("Profiles\\gamma", "Extra", "x"); }},
    };
    for (const auto& [what, change] : changes) {
        DeleteKeyTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
        FreeAllEntries();
        for (const char* name : {"alpha", "beta", "gamma"})
            AddTestEntry(name, (std::string(name) + "@host").c_str());
        SaveSettings(errors);
        Reload();
        change();
        SaveSettings(errors);
        const std::string saved = ProgramKeyImage();
        DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
        SaveSettings(errors);
        EXPECT_EQ(ProgramKeyImage(), saved) << what;
    }
}

// A load that cannot open a profile stops there; the save keeps the profiles it could not read.
TEST_F(RegistryTest, FailuresKeepTheStoredProfiles)
{
    for (const char* name : {"alpha", "beta", "gamma"})
        PutText(std::string("Profiles\\") + name, "Address", std::string(name) + "@host");
    HKEY beta;
    PSECURITY_DESCRIPTOR noAccess = nullptr;  // an empty DACL
    const std::string betaPath = std::string(PROFILES_KEY_PATH) + "\\beta";
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, betaPath.c_str(), 0, WRITE_DAC, &beta));
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", SDDL_REVISION_1, &noAccess, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(beta, DACL_SECURITY_INFORMATION, noAccess));
    LocalFree(noAccess);
    RegCloseKey(beta);
    Reload();
    ASSERT_EQ(1u, errors.size());
    EXPECT_STREQ("Couldn't open profile subkey", errors[0].title);
    errors.clear();
    EXPECT_EQ(std::vector<std::string>{"alpha=alpha@host"}, Entries());
    EXPECT_EQ(1, Settings.saveAtExit);
    AddTestEntry("Gamma", "new gamma@host");  // not over the unread "gamma"
    SaveSettings(errors);
    EXPECT_EQ((std::vector<std::string>{"alpha", "beta", "gamma", "Gamma (2)"}), SubkeyNames(PROFILES_KEY_PATH));
    EXPECT_EQ("gamma@host", ReadValue("Profiles\\gamma", "Address").Text());
}

}
