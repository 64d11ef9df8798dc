#include "entries/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "support/program_fixture.h"

namespace {

constexpr char COMPANY_KEY_PATH[] = "Software\\Corvale Software";

// Deletes a key with everything below it; a missing key is fine.
void DeleteTree(HKEY parent, const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (;;) {
            char name[260];
            DWORD length = sizeof name;
            if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            DeleteTree(key, name);
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(parent, path);
}

std::string Path(const std::string& below)
{
    return below.empty() ? std::string(PROGRAM_KEY_PATH) : std::string(PROGRAM_KEY_PATH) + "\\" + below;
}

bool KeyExists(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Writes a value below the program key ("" for the key itself), creating keys as needed.
void Put(const std::string& below, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Path(below).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void PutWord(const std::string& below, const char* name, uint32_t value)
{
    Put(below, name, REG_BINARY, &value, 4);
}

void PutText(const std::string& below, const char* name, const std::string& text)
{
    Put(below, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void MakeKey(const std::string& below)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Path(below).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegCloseKey(key);
}

struct RawValue {
    LONG result = ERROR_FILE_NOT_FOUND;
    DWORD type = 0;
    std::vector<unsigned char> data;

    bool Is(DWORD expectedType, size_t size) const
    {
        return result == ERROR_SUCCESS && type == expectedType && data.size() == size;
    }
    uint32_t Word() const
    {
        uint32_t value = 0;
        if (data.size() == 4)
            memcpy(&value, data.data(), 4);
        return value;
    }
    std::string Text() const { return data.empty() ? std::string() : std::string(reinterpret_cast<const char*>(data.data())); }
};

RawValue Raw(const std::string& path, const char* name)
{
    RawValue raw;
    HKEY key;
    raw.result = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    if (raw.result != ERROR_SUCCESS)
        return raw;
    DWORD size = 0;
    raw.result = RegQueryValueExA(key, name, nullptr, &raw.type, nullptr, &size);
    if (raw.result == ERROR_SUCCESS) {
        raw.data.resize(size);
        raw.result = RegQueryValueExA(key, name, nullptr, &raw.type, raw.data.data(), &size);
        raw.data.resize(size);
    }
    RegCloseKey(key);
    return raw;
}

RawValue Stored(const std::string& below, const char* name)
{
    return Raw(Path(below), name);
}

std::vector<std::string> Subkeys(const std::string& path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

std::vector<std::string> ValueNames(const std::string& path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

std::vector<std::string> Descriptions()
{
    std::vector<std::string> names;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        names.push_back(entry->description);
    return names;
}

const FingerEntry* FindEntry(const char* description)
{
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        if (strcmp(entry->description, description) == 0)
            return entry;
    return nullptr;
}

FingerEntry* AddEntry(const char* description, const char* address)
{
    FingerEntry prototype;
    SetEntryDefaults(prototype);
    snprintf(prototype.description, sizeof prototype.description, "%s", description);
    snprintf(prototype.address, sizeof prototype.address, "%s", address);
    return AllocateFingerEntry(prototype);
}

bool SameFont(const LOGFONTA& a, const LOGFONTA& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

// A save followed by a fresh start: the list and the settings come back from the registry.
int SaveAndReload()
{
    SaveSettings();
    FreeAllEntries();
    SetDefaultSettings();
    return LoadSettings();
}

// Every test starts with no program key, a loaded first-run state and an
// answerer for message boxes, and expects no box unless it takes them.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        FetchDefaultEntryFont();
        FreeAllEntries();
        DeleteTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
        StartBoxAnswerer();
        ASSERT_EQ(0, LoadSettings());
    }
    void TearDown() override
    {
        std::vector<SeenBox> boxes = StopBoxAnswerer();
        for (const SeenBox& box : boxes)
            ADD_FAILURE() << "unexpected box \"" << box.caption << "\": " << box.text;
        FreeAllEntries();
        DeleteTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
    }
    // The boxes shown so far; answering goes on.
    std::vector<SeenBox> TakeBoxes()
    {
        std::vector<SeenBox> boxes = StopBoxAnswerer();
        StartBoxAnswerer();
        return boxes;
    }
    // Loads from the registry as a new start does.
    int Reload()
    {
        FreeAllEntries();
        SetDefaultSettings();
        return LoadSettings();
    }
};

TEST_F(RegistryTest, FirstRunLoadsDefaults)
{
    EXPECT_FALSE(KeyExists(PROGRAM_KEY_PATH));
    Settings.saveAtExit = 0;
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(1, Settings.saveAtExit);
    EXPECT_EQ(0x8008u, Settings.options);
    EXPECT_EQ(65536u, Settings.maxAllocSize);
    EXPECT_EQ(65536u, Settings.maxAllocSizeSaved);
    EXPECT_EQ(0, Settings.windowRect.left);
    EXPECT_EQ(0, Settings.windowRect.bottom);
    EXPECT_EQ(-1, Settings.toolbarCount);
    EXPECT_EQ(4, Settings.DisplaySplit);
    EXPECT_STREQ("", Settings.logFile);
    EXPECT_STREQ("", Settings.entriesPath);
    EXPECT_STREQ("", Settings.outputPath);
    EXPECT_STREQ("", Settings.userBrowser);
    EXPECT_STREQ(DEFAULT_WHOIS_SERVER, Settings.whoisServer);
    EXPECT_STREQ("Finger Mail", Settings.groupNames[0]);
    EXPECT_STREQ("Finger Status", Settings.groupNames[1]);
    EXPECT_STREQ("Finger Group #1", Settings.groupNames[2]);
    EXPECT_STREQ("Finger Group #2", Settings.groupNames[3]);
    EXPECT_STREQ("Finger Group #3", Settings.groupNames[4]);
    EXPECT_EQ(0, Settings.sortColumn);
    EXPECT_EQ(1u, Settings.listStyle);
    const int32_t widths[LIST_COLUMNS] = {196, 176, 36, 120, 64};
    for (int c = 0; c < LIST_COLUMNS; ++c)
        EXPECT_EQ(widths[c], Settings.columnWidths[c]);
    EXPECT_EQ(60u, Settings.networkTimeout);
    EXPECT_EQ(nullptr, EntryList.head);
    EXPECT_EQ(nullptr, EntryList.tail);
    EXPECT_EQ(0u, EntryList.count);
    EXPECT_FALSE(KeyExists(PROGRAM_KEY_PATH)) << "loading never writes";

    RawValue startup = Raw(SHELL_FOLDERS_KEY_PATH, "Startup");
    if (startup.result == ERROR_SUCCESS) {
        EXPECT_EQ(startup.Text(), Settings.startupFolder);
    } else {
        EXPECT_STREQ("", Settings.startupFolder);
    }
}

TEST_F(RegistryTest, LoadingEmptiesTheListFirst)
{
    AddEntry("left over", "user@host");
    ASSERT_EQ(0, LoadSettings());
    EXPECT_EQ(nullptr, EntryList.head);
    EXPECT_EQ(0u, EntryList.count);
}

TEST_F(RegistryTest, FirstSaveWritesEveryValueWithItsTypeAndSize)
{
    AddEntry("One", "one@host");
    AddEntry("Two", "two@host");
    SaveSettings();

    const char* words[] = {"Options", "MaxAllocSize", "NumButtons", "Display Split", "Last Column Sorted",
                           "LV Style", "Col1cx", "Col2cx", "Col3cx", "Col4cx", "Col5cx", "Network Timeout"};
    for (const char* name : words)
        EXPECT_TRUE(Stored("", name).Is(REG_BINARY, 4)) << name;
    EXPECT_TRUE(Stored("", "Rect").Is(REG_BINARY, 16));
    EXPECT_EQ(0x8008u, Stored("", "Options").Word());
    EXPECT_EQ(65536u, Stored("", "MaxAllocSize").Word());
    EXPECT_EQ(0xFFFFFFFFu, Stored("", "NumButtons").Word());
    EXPECT_EQ(4u, Stored("", "Display Split").Word());
    EXPECT_EQ(1u, Stored("", "LV Style").Word());
    EXPECT_EQ(196u, Stored("", "Col1cx").Word());
    EXPECT_EQ(64u, Stored("", "Col5cx").Word());
    EXPECT_EQ(60u, Stored("", "Network Timeout").Word());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Stored("", "Toolbar").result) << "no layout of its own yet";

    EXPECT_TRUE(Stored("", "Log File").Is(REG_SZ, 1));
    EXPECT_TRUE(Stored("", "Finger Entries Path").Is(REG_SZ, 1));
    EXPECT_TRUE(Stored("", "User Browser").Is(REG_SZ, 1));
    EXPECT_TRUE(Stored("", "Output Path").Is(REG_SZ, 1));
    RawValue whois = Stored("", "WHOIS Server");
    EXPECT_TRUE(whois.Is(REG_SZ, strlen(DEFAULT_WHOIS_SERVER) + 1));
    EXPECT_EQ(DEFAULT_WHOIS_SERVER, whois.Text());
    EXPECT_TRUE(Stored("", "Batch1Name").Is(REG_SZ, strlen("Finger Group #1") + 1));
    EXPECT_EQ("Finger Group #3", Stored("", "Batch3Name").Text());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Stored("", "Batch0Name").result);

    EXPECT_EQ((std::vector<std::string>{"Profiles"}), Subkeys(PROGRAM_KEY_PATH));
    EXPECT_EQ((std::vector<std::string>{"One", "Two"}), Subkeys(PROFILES_KEY_PATH));
    const std::vector<std::string> profileValues = {"Address",    "Monitor Log", "Flags",  "Icon Filename",
                                                    "Icon Index", "NumFingers",  "Colour", "Points",
                                                    "Font",       "Period",      "Interval", "Last Fingered"};
    std::vector<std::string> names = ValueNames(Path("Profiles\\One"));
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = profileValues;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names) << "no other value, no description value for a plain name";

    RawValue address = Stored("Profiles\\One", "Address");
    EXPECT_TRUE(address.Is(REG_SZ, strlen("one@host") + 1));
    EXPECT_EQ("one@host", address.Text());
    EXPECT_TRUE(Stored("Profiles\\One", "Monitor Log").Is(REG_SZ, 13));
    EXPECT_EQ("00000000.htm", Stored("Profiles\\One", "Monitor Log").Text());
    EXPECT_EQ("00000001.htm", Stored("Profiles\\Two", "Monitor Log").Text());
    EXPECT_TRUE(Stored("Profiles\\One", "Icon Filename").Is(REG_SZ, 1));
    for (const char* name : {"Flags", "Icon Index", "NumFingers", "Colour", "Points", "Period", "Interval",
                             "Last Fingered"})
        EXPECT_TRUE(Stored("Profiles\\One", name).Is(REG_BINARY, 4)) << name;
    EXPECT_TRUE(Stored("Profiles\\One", "Font").Is(REG_BINARY, 60));
    EXPECT_EQ(120u, Stored("Profiles\\One", "Points").Word());
    EXPECT_EQ(1u, Stored("Profiles\\One", "Period").Word());
}

TEST_F(RegistryTest, EverySettingSurvivesARestart)
{
    Settings.options = OPT_START_WITH_WINDOWS | OPT_LOGGING | OPT_AUTO_HTML | OPT_USER_BROWSER | OptSortToggle(0) |
                       OptSortToggle(3);
    Settings.maxAllocSizeSaved = 131072;
    Settings.windowRect = {-10, 20, 800, 600};
    Settings.toolbarCount = 5;
    const int32_t layout[5] = {40017, 0, 40004, 40123, 40099};
    memcpy(Settings.SavedToolbarLayout, layout, sizeof layout);
    Settings.DisplaySplit = 7;
    snprintf(Settings.logFile, PATH_SIZE, "C:\\logs\\finger log.txt");
    snprintf(Settings.entriesPath, PATH_SIZE, "C:\\entries\\mine.oen");
    snprintf(Settings.whoisServer, WHOIS_HOST_SIZE, "whois.example.net");
    snprintf(Settings.userBrowser, PATH_SIZE, "C:\\browser\\browse.exe");
    std::string longPath = "C:\\" + std::string(256, 'p');
    ASSERT_EQ(259u, longPath.size());
    snprintf(Settings.outputPath, PATH_SIZE, "%s", longPath.c_str());
    snprintf(Settings.groupNames[0], GROUP_NAME_SIZE, "Changed Mail");
    snprintf(Settings.groupNames[1], GROUP_NAME_SIZE, "Changed Status");
    snprintf(Settings.groupNames[2], GROUP_NAME_SIZE, "Friends");
    snprintf(Settings.groupNames[3], GROUP_NAME_SIZE, "%s", std::string(39, 'g').c_str());
    snprintf(Settings.groupNames[4], GROUP_NAME_SIZE, "Servers");
    Settings.sortColumn = 3;
    Settings.listStyle = 2;
    const int32_t widths[LIST_COLUMNS] = {10, 20, 30, 40, 50};
    memcpy(Settings.columnWidths, widths, sizeof widths);
    Settings.networkTimeout = 300;

    EXPECT_TRUE(Stored("", "Toolbar").result == ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(0, SaveAndReload());
    EXPECT_TRUE(Stored("", "Toolbar").Is(REG_BINARY, 20));
    EXPECT_TRUE(Stored("", "Output Path").Is(REG_SZ, 260));

    EXPECT_EQ(OPT_START_WITH_WINDOWS | OPT_LOGGING | OPT_AUTO_HTML | OPT_USER_BROWSER | OptSortToggle(0) |
                  OptSortToggle(3),
              Settings.options);
    EXPECT_EQ(131072u, Settings.maxAllocSize);
    EXPECT_EQ(131072u, Settings.maxAllocSizeSaved);
    EXPECT_EQ(-10, Settings.windowRect.left);
    EXPECT_EQ(20, Settings.windowRect.top);
    EXPECT_EQ(800, Settings.windowRect.right);
    EXPECT_EQ(600, Settings.windowRect.bottom);
    ASSERT_EQ(5, Settings.toolbarCount);
    EXPECT_EQ(0, memcmp(layout, Settings.SavedToolbarLayout, sizeof layout));
    EXPECT_EQ(7, Settings.DisplaySplit);
    EXPECT_STREQ("C:\\logs\\finger log.txt", Settings.logFile);
    EXPECT_STREQ("C:\\entries\\mine.oen", Settings.entriesPath);
    EXPECT_STREQ("whois.example.net", Settings.whoisServer);
    EXPECT_STREQ("C:\\browser\\browse.exe", Settings.userBrowser);
    EXPECT_EQ(longPath, Settings.outputPath);
    EXPECT_STREQ("Finger Mail", Settings.groupNames[0]) << "never stored";
    EXPECT_STREQ("Finger Status", Settings.groupNames[1]) << "never stored";
    EXPECT_STREQ("Friends", Settings.groupNames[2]);
    EXPECT_EQ(std::string(39, 'g'), Settings.groupNames[3]);
    EXPECT_STREQ("Servers", Settings.groupNames[4]);
    EXPECT_EQ(3, Settings.sortColumn);
    EXPECT_EQ(2u, Settings.listStyle);
    EXPECT_EQ(0, memcmp(widths, Settings.columnWidths, sizeof widths));
    EXPECT_EQ(300u, Settings.networkTimeout);
    EXPECT_EQ(1, Settings.saveAtExit);
}

TEST_F(RegistryTest, EveryStoredEntryFieldSurvivesARestart)
{
    FingerEntry prototype;
    SetEntryDefaults(prototype);
    snprintf(prototype.description, DESCRIPTION_SIZE, "Full entry");
    snprintf(prototype.address, ADDRESS_SIZE, "%s", std::string(127, 'a').c_str());
    snprintf(prototype.monitorFile, MONITOR_NAME_SIZE, "00000042.htm");
    prototype.flags = FE_FINGER_AT_START | FE_AUTO_FINGER | FE_NOTIFY_CHANGES | FE_LOG_OUTPUT | FE_ADD_TIME |
                      FE_RECYCLE_OUTPUT | FE_LONG_OUTPUT | FE_HTML_NEVER | FE_ALL_GROUPS | FE_NOTIFY_OPEN;
    prototype.period = PERIOD_WEEKS;
    prototype.interval = 3;
    prototype.fingerCount = 12345;
    prototype.lastFingered = 1700000000;
    prototype.nextFinger = 1700003600;
    prototype.reserved1 = 7;
    prototype.reserved2 = 8;
    prototype.colour = RGB(10, 20, 30);
    prototype.points = 96;
    LOGFONTA font = {};
    font.lfHeight = -13;
    font.lfWeight = FW_BOLD;
    font.lfItalic = 1;
    font.lfCharSet = ANSI_CHARSET;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    snprintf(font.lfFaceName, LF_FACESIZE, "Courier New");
    prototype.font = font;
    prototype.notifyWindow = reinterpret_cast<HWND>(0x1234);
    prototype.changed = 1;
    prototype.outputStart = 5;
    prototype.outputEnd = 50;
    snprintf(prototype.iconFile, PATH_SIZE, "C:\\icons\\%s.ico", std::string(240, 'i').c_str());
    prototype.iconIndex = 4;
    ASSERT_NE(nullptr, AllocateFingerEntry(prototype));

    ASSERT_EQ(0, SaveAndReload());
    ASSERT_EQ(1u, EntryList.count);
    const FingerEntry& entry = *EntryList.head;
    EXPECT_STREQ("Full entry", entry.description);
    EXPECT_STREQ(prototype.address, entry.address);
    EXPECT_STREQ("00000042.htm", entry.monitorFile);
    EXPECT_EQ(prototype.flags & ~FE_NOTIFY_OPEN, entry.flags);
    EXPECT_EQ(static_cast<uint32_t>(PERIOD_WEEKS), entry.period);
    EXPECT_EQ(3u, entry.interval);
    EXPECT_EQ(12345u, entry.fingerCount);
    EXPECT_EQ(1700000000, entry.lastFingered);
    EXPECT_EQ(RGB(10, 20, 30), entry.colour);
    EXPECT_EQ(96u, entry.points);
    EXPECT_TRUE(SameFont(font, entry.font));
    EXPECT_STREQ(prototype.iconFile, entry.iconFile);
    EXPECT_EQ(4u, entry.iconIndex);
    // Run-time fields and reserved words are not stored.
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
    LOGFONTA noFace = {};
    noFace.lfHeight = 30;
    Put("Profiles\\Negative", "Font", REG_BINARY, &noFace, sizeof noFace);
    LOGFONTA face = {};
    face.lfHeight = 30;
    snprintf(face.lfFaceName, LF_FACESIZE, "Arial");
    Put("Profiles\\Short font", "Font", REG_BINARY, &face, sizeof face - 1);
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

TEST_F(RegistryTest, MaxAllocSizeRange)
{
    const struct {
        uint32_t stored, size, saved;
    } cases[] = {{16383, 65536, 65536},
                 {16384, 16384, 16384},
                 {1048576, 1048576, 1048576},
                 {1048577, 65536, 65536},
                 {0, 65536, 65536},
                 {0xFFFFFFFFu, 65536, 65536}};
    for (const auto& c : cases) {
        PutWord("", "MaxAllocSize", c.stored);
        ASSERT_EQ(0, Reload());
        EXPECT_EQ(c.size, Settings.maxAllocSize) << c.stored;
        EXPECT_EQ(c.saved, Settings.maxAllocSizeSaved) << c.stored;
    }
}

TEST_F(RegistryTest, DisplaySplitRange)
{
    const struct {
        int32_t stored, loaded;
    } cases[] = {{-1, 4}, {0, 0}, {9, 9}, {10, 4}, {0x7FFFFFFF, 4}};
    for (const auto& c : cases) {
        PutWord("", "Display Split", static_cast<uint32_t>(c.stored));
        ASSERT_EQ(0, Reload());
        EXPECT_EQ(c.loaded, Settings.DisplaySplit) << c.stored;
    }
}

TEST_F(RegistryTest, NetworkTimeoutRange)
{
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(60u, Settings.networkTimeout);
    const struct {
        uint32_t stored, loaded;
    } cases[] = {{0, 60}, {1, 1}, {45, 45}, {3600, 3600}, {3601, 60}, {0xFFFFFFFFu, 60}};
    for (const auto& c : cases) {
        PutWord("", "Network Timeout", c.stored);
        ASSERT_EQ(0, Reload());
        EXPECT_EQ(c.loaded, Settings.networkTimeout) << c.stored;
    }
}

TEST_F(RegistryTest, SortColumnAndListStyleStayInRange)
{
    PutWord("", "Last Column Sorted", 4);
    PutWord("", "LV Style", 3);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(4, Settings.sortColumn);
    EXPECT_EQ(3u, Settings.listStyle);
    PutWord("", "Last Column Sorted", 5);
    PutWord("", "LV Style", 4);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(0, Settings.sortColumn);
    EXPECT_EQ(1u, Settings.listStyle);
    PutWord("", "Last Column Sorted", 0xFFFFFFFFu);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(0, Settings.sortColumn);
}

std::vector<int32_t> Ids(int count, int32_t first)
{
    std::vector<int32_t> ids(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        ids[static_cast<size_t>(i)] = first + i;
    return ids;
}

void PutToolbar(const std::vector<int32_t>& ids)
{
    Put("", "Toolbar", REG_BINARY, ids.data(), static_cast<DWORD>(ids.size() * 4));
}

TEST_F(RegistryTest, ToolbarRules)
{
    // A huge count becomes 127 and at most 127 ids are taken.
    PutWord("", "NumButtons", 200);
    PutToolbar(Ids(127, 1000));
    ASSERT_EQ(0, Reload());
    ASSERT_EQ(127, Settings.toolbarCount);
    EXPECT_EQ(1000, Settings.SavedToolbarLayout[0]);
    EXPECT_EQ(1126, Settings.SavedToolbarLayout[126]);
    EXPECT_EQ(0, Settings.SavedToolbarLayout[127]);

    PutWord("", "NumButtons", 128);
    PutToolbar(Ids(128, 2000));
    ASSERT_EQ(0, Reload());
    ASSERT_EQ(127, Settings.toolbarCount);
    EXPECT_EQ(2126, Settings.SavedToolbarLayout[126]);
    EXPECT_EQ(0, Settings.SavedToolbarLayout[127]) << "the 128th id is not read";

    // A negative count is no layout of the user's own.
    PutWord("", "NumButtons", 0x80000000u);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(-1, Settings.toolbarCount);
    EXPECT_EQ(0, Settings.SavedToolbarLayout[0]);

    // A layout longer than the field is not read: the default layout instead of empty buttons.
    PutWord("", "NumButtons", 0x7FFFFFFF);
    PutToolbar(Ids(129, 3000));
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(-1, Settings.toolbarCount);
    EXPECT_EQ(0, Settings.SavedToolbarLayout[0]);

    // A layout of more ids than the count: the first ones.
    PutWord("", "NumButtons", 3);
    PutToolbar(Ids(10, 4000));
    ASSERT_EQ(0, Reload());
    ASSERT_EQ(3, Settings.toolbarCount);
    EXPECT_EQ(4002, Settings.SavedToolbarLayout[2]);
    EXPECT_EQ(0, Settings.SavedToolbarLayout[3]);

    // Fewer ids than the count: the count follows the ids.
    PutWord("", "NumButtons", 9);
    PutToolbar(Ids(4, 5000));
    ASSERT_EQ(0, Reload());
    ASSERT_EQ(4, Settings.toolbarCount);
    EXPECT_EQ(5003, Settings.SavedToolbarLayout[3]);

    // Part of an id: not read.
    PutWord("", "NumButtons", 2);
    Put("", "Toolbar", REG_BINARY, Ids(2, 6000).data(), 7);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(-1, Settings.toolbarCount);
    EXPECT_EQ(0, Settings.SavedToolbarLayout[0]);

    // An empty toolbar stays empty.
    PutWord("", "NumButtons", 0);
    Put("", "Toolbar", REG_BINARY, "", 0);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(0, Settings.toolbarCount);
    SaveSettings();
    EXPECT_TRUE(Stored("", "Toolbar").Is(REG_BINARY, 0));

    // Without "NumButtons" the layout is not read at all.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "NumButtons");
    RegCloseKey(key);
    PutToolbar(Ids(5, 7000));
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(-1, Settings.toolbarCount);
    EXPECT_EQ(0, Settings.SavedToolbarLayout[0]);

    // A count with no layout stored: the default layout.
    PutWord("", "NumButtons", 5);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "Toolbar");
    RegCloseKey(key);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(-1, Settings.toolbarCount);
}

TEST_F(RegistryTest, ValuesOfAnotherTypeAreReadAsTheirBytes)
{
    DWORD options = OPT_LOGGING | OPT_NETWORK;
    Put("", "Options", REG_DWORD, &options, sizeof options);
    Put("", "Display Split", REG_SZ, "\x02\0\0", 4);
    uint32_t widths = 77;
    Put("", "Col2cx", REG_DWORD, &widths, 4);
    Put("", "Log File", REG_BINARY, "C:\\log.txt", 10);  // no terminating NUL
    Put("", "User Browser", REG_EXPAND_SZ, "browser.exe", 12);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(static_cast<uint32_t>(OPT_LOGGING | OPT_NETWORK), Settings.options);
    EXPECT_EQ(2, Settings.DisplaySplit);
    EXPECT_EQ(77, Settings.columnWidths[1]);
    EXPECT_STREQ("C:\\log.txt", Settings.logFile);
    EXPECT_STREQ("browser.exe", Settings.userBrowser);
}

TEST_F(RegistryTest, ValuesOfTheWrongSizeLeaveTheirFields)
{
    Put("", "Options", REG_BINARY, "\x10\x00", 2);
    unsigned long long wide = 0x1122334455667788ull;
    Put("", "MaxAllocSize", REG_QWORD, &wide, 8);
    const int32_t rect[5] = {1, 2, 3, 4, 5};
    Put("", "Rect", REG_BINARY, rect, 15);
    Put("", "NumButtons", REG_BINARY, rect, 3);
    Put("", "Col1cx", REG_BINARY, rect, 5);
    PutText("", "Log File", std::string(260, 'l'));              // needs 261 bytes
    Put("", "Output Path", REG_BINARY, std::string(260, 'o').c_str(), 260);  // no room for the NUL
    PutText("", "Finger Entries Path", std::string(259, 'e'));   // fits exactly
    PutText("", "Batch1Name", std::string(40, 'n'));
    PutText("", "Batch2Name", std::string(39, 'n'));
    PutText("", "WHOIS Server", std::string(128, 'w'));
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(0x8008u, Settings.options);
    EXPECT_EQ(65536u, Settings.maxAllocSize);
    EXPECT_EQ(0, Settings.windowRect.left);
    EXPECT_EQ(0, Settings.windowRect.right);
    EXPECT_EQ(-1, Settings.toolbarCount);
    EXPECT_EQ(196, Settings.columnWidths[0]);
    EXPECT_STREQ("", Settings.logFile);
    EXPECT_STREQ("", Settings.outputPath);
    EXPECT_EQ(std::string(259, 'e'), Settings.entriesPath);
    EXPECT_STREQ("Finger Group #1", Settings.groupNames[2]);
    EXPECT_EQ(std::string(39, 'n'), Settings.groupNames[3]);
    EXPECT_STREQ(DEFAULT_WHOIS_SERVER, Settings.whoisServer);

    Put("", "Rect", REG_BINARY, rect, 17);
    Put("", "Options", REG_BINARY, rect, 0);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(0, Settings.windowRect.left);
    EXPECT_EQ(0x8008u, Settings.options);
    Put("", "Rect", REG_BINARY, rect, 16);
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(1, Settings.windowRect.left);
    EXPECT_EQ(4, Settings.windowRect.bottom);
}

TEST_F(RegistryTest, ProfileValuesOfTheWrongSizeLeaveTheirFields)
{
    PutText("Profiles\\Odd", "Address", std::string(128, 'a'));
    PutText("Profiles\\Odd", "Monitor Log", "00000001.htm.long");
    Put("Profiles\\Odd", "Flags", REG_BINARY, "\x01\x02", 2);
    uint32_t count = 9;
    Put("Profiles\\Odd", "NumFingers", REG_DWORD, &count, 4);
    Put("Profiles\\Odd", "Points", REG_BINARY, "\x50\0\0\0\0", 5);
    LOGFONTA big[2] = {};
    snprintf(big[0].lfFaceName, LF_FACESIZE, "Arial");
    Put("Profiles\\Odd", "Font", REG_BINARY, big, 61);
    ASSERT_EQ(0, Reload());
    ASSERT_EQ(1u, EntryList.count);
    const FingerEntry& entry = *EntryList.head;
    EXPECT_STREQ("", entry.address);
    EXPECT_STREQ("", entry.monitorFile);
    EXPECT_EQ(0u, entry.flags);
    EXPECT_EQ(9u, entry.fingerCount);
    EXPECT_EQ(120u, entry.points);
    EXPECT_TRUE(SameFont(DefaultEntryFont, entry.font));
}

TEST_F(RegistryTest, EmptyWhoisServerBecomesTheDefault)
{
    PutText("", "WHOIS Server", "");
    ASSERT_EQ(0, Reload());
    EXPECT_STREQ(DEFAULT_WHOIS_SERVER, Settings.whoisServer);
    PutText("", "WHOIS Server", "whois.example.org");
    ASSERT_EQ(0, Reload());
    EXPECT_STREQ("whois.example.org", Settings.whoisServer);
}

TEST_F(RegistryTest, LongProfileNamesGiveTheFirst127Characters)
{
    std::string name128(128, 'd');
    std::string name200 = std::string(150, 'x') + std::string(50, 'y');
    PutText("Profiles\\" + name128, "Address", "long@host");
    PutText("Profiles\\" + name200, "Address", "longer@host");
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
    std::vector<std::string> order = Subkeys(PROFILES_KEY_PATH);
    ASSERT_EQ(5u, order.size());
    ASSERT_EQ(0, Reload());
    EXPECT_EQ(order, Descriptions());
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        EXPECT_EQ(std::string(entry->description) + "@host", entry->address);
}

TEST_F(RegistryTest, SaveReplacesTheStoredProfiles)
{
    AddEntry("Keep", "keep@host");
    AddEntry("Drop", "drop@host");
    ASSERT_EQ(0, SaveAndReload());
    ASSERT_EQ(2u, EntryList.count);
    FingerEntry* drop = const_cast<FingerEntry*>(FindEntry("Drop"));
    ASSERT_NE(nullptr, drop);
    FreeFingerEntry(drop);
    FingerEntry* keep = const_cast<FingerEntry*>(FindEntry("Keep"));
    snprintf(keep->description, DESCRIPTION_SIZE, "Renamed");
    AddEntry("New", "new@host");
    ASSERT_EQ(0, SaveAndReload());
    EXPECT_EQ((std::vector<std::string>{"New", "Renamed"}), Subkeys(PROFILES_KEY_PATH));
    EXPECT_EQ((std::vector<std::string>{"New", "Renamed"}), Descriptions());
    EXPECT_STREQ("keep@host", FindEntry("Renamed")->address);
}

TEST_F(RegistryTest, EntriesOfOneNameInAnyCaseAreAllKept)
{
    FingerEntry* first = AddEntry("Mail", "first@host");
    FingerEntry* second = AddEntry("mail", "second@host");
    FingerEntry* third = AddEntry("MAIL", "third@host");
    first->fingerCount = 1;
    second->fingerCount = 2;
    third->fingerCount = 3;
    SaveSettings();

    // The first in list order has the plain name and the plain layout; the
    // later ones are stored under copy names that read back as valid entries.
    EXPECT_EQ((std::vector<std::string>{"Mail", "mail (2)", "MAIL (3)"}), Subkeys(PROFILES_KEY_PATH));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Stored("Profiles\\Mail", PROFILE_DESCRIPTION_VALUE).result);
    EXPECT_EQ("first@host", Stored("Profiles\\Mail", "Address").Text());
    EXPECT_EQ("second@host", Stored("Profiles\\mail (2)", "Address").Text());
    RawValue description = Stored("Profiles\\mail (2)", PROFILE_DESCRIPTION_VALUE);
    EXPECT_TRUE(description.Is(REG_SZ, 5));
    EXPECT_EQ("mail", description.Text());
    EXPECT_EQ("MAIL", Stored("Profiles\\MAIL (3)", PROFILE_DESCRIPTION_VALUE).Text());

    ASSERT_EQ(0, Reload());
    ASSERT_EQ(3u, EntryList.count);
    EXPECT_EQ((std::vector<std::string>{"Mail", "mail", "MAIL"}), Descriptions());
    EXPECT_STREQ("first@host", FindEntry("Mail")->address);
    EXPECT_EQ(1u, FindEntry("Mail")->fingerCount);
    EXPECT_STREQ("second@host", FindEntry("mail")->address);
    EXPECT_EQ(2u, FindEntry("mail")->fingerCount);
    EXPECT_STREQ("third@host", FindEntry("MAIL")->address);
    EXPECT_EQ(3u, FindEntry("MAIL")->fingerCount);

    // A further restart keeps them all again.
    ASSERT_EQ(0, SaveAndReload());
    EXPECT_EQ(3u, EntryList.count);
    EXPECT_EQ((std::vector<std::string>{"Mail", "mail (2)", "MAIL (3)"}), Subkeys(PROFILES_KEY_PATH));
}

TEST_F(RegistryTest, ProfilesAreWrittenInListOrder)
{
    AddEntry("news", "earlier@host");
    AddEntry("News", "later@host");
    SaveSettings();
    EXPECT_EQ((std::vector<std::string>{"news", "News (2)"}), Subkeys(PROFILES_KEY_PATH));
    EXPECT_EQ("earlier@host", Stored("Profiles\\news", "Address").Text());
    EXPECT_EQ("later@host", Stored("Profiles\\News (2)", "Address").Text());
}

TEST_F(RegistryTest, CopyNamesNeverTakeAnotherEntrysName)
{
    AddEntry("Home", "1@host");
    AddEntry("home", "2@host");
    AddEntry("Home (2)", "3@host");
    AddEntry("home (2)", "4@host");
    ASSERT_EQ(0, SaveAndReload());
    ASSERT_EQ(4u, EntryList.count);
    EXPECT_STREQ("1@host", FindEntry("Home")->address);
    EXPECT_STREQ("2@host", FindEntry("home")->address);
    EXPECT_STREQ("3@host", FindEntry("Home (2)")->address);
    EXPECT_STREQ("4@host", FindEntry("home (2)")->address);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Stored("Profiles\\Home (2)", PROFILE_DESCRIPTION_VALUE).result)
        << "an entry whose own name is free keeps it";
}

TEST_F(RegistryTest, LongDescriptionsInAnyCaseAreAllKept)
{
    std::string upper(127, 'Q');
    std::string lower(127, 'q');
    AddEntry(upper.c_str(), "upper@host");
    AddEntry(lower.c_str(), "lower@host");
    SaveSettings();
    std::vector<std::string> keys = Subkeys(PROFILES_KEY_PATH);
    ASSERT_EQ(2u, keys.size());
    for (const std::string& key : keys)
        EXPECT_LE(key.size(), 127u);
    ASSERT_EQ(0, Reload());
    ASSERT_EQ(2u, EntryList.count);
    ASSERT_NE(nullptr, FindEntry(upper.c_str()));
    ASSERT_NE(nullptr, FindEntry(lower.c_str()));
    EXPECT_STREQ("lower@host", FindEntry(lower.c_str())->address);
}

TEST_F(RegistryTest, DescriptionsThatCannotBeKeyNamesSurvive)
{
    AddEntry("work\\server", "slash@host");
    AddEntry("", "empty@host");
    SaveSettings();
    EXPECT_EQ((std::vector<std::string>{EMPTY_DESCRIPTION_PROFILE, "work/server"}), Subkeys(PROFILES_KEY_PATH));
    EXPECT_TRUE(Subkeys(Path("Profiles\\work/server")).empty());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Stored("Profiles", "Address").result) << "nothing in the profiles key itself";
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

TEST_F(RegistryTest, TemporaryEntriesAreNotStored)
{
    AddEntry("Listed", "listed@host");
    FingerEntry quick = {};
    quick.font = DefaultEntryFont;
    snprintf(quick.address, ADDRESS_SIZE, "quick@host");
    quick.flags = FE_TEMPORARY;
    ASSERT_NE(nullptr, AllocateFingerEntry(quick));
    ASSERT_EQ(0, SaveAndReload());
    EXPECT_EQ((std::vector<std::string>{"Listed"}), Subkeys(PROFILES_KEY_PATH));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Stored("Profiles", "Address").result);
    EXPECT_EQ(1u, EntryList.count);
}

TEST_F(RegistryTest, NothingIsWrittenUnlessSaveAtExitIsOne)
{
    AddEntry("Entry", "user@host");
    Settings.saveAtExit = 0;
    SaveSettings();
    EXPECT_FALSE(KeyExists(PROGRAM_KEY_PATH));

    Settings.saveAtExit = 1;
    SaveSettings();
    ASSERT_TRUE(KeyExists(Path("Profiles\\Entry")));
    FreeAllEntries();
    Settings.options = 0;
    Settings.saveAtExit = 0;
    SaveSettings();
    EXPECT_EQ(0x8008u, Stored("", "Options").Word());
    EXPECT_TRUE(KeyExists(Path("Profiles\\Entry")));
    Settings.saveAtExit = 2;
    SaveSettings();
    EXPECT_TRUE(KeyExists(Path("Profiles\\Entry")));
}

TEST_F(RegistryTest, DeleteProfilesRemovesEverySubkey)
{
    for (const char* name : {"a", "B", "c", "d"})
        PutText(std::string("Profiles\\") + name, "Address", "x");
    MakeKey("Profiles\\nested\\deeper\\deepest");
    PutText("Profiles\\nested\\deeper", "Address", "y");
    PutWord("", "Options", 1);
    DeleteProfiles();
    EXPECT_TRUE(KeyExists(PROFILES_KEY_PATH));
    EXPECT_TRUE(Subkeys(PROFILES_KEY_PATH).empty());
    EXPECT_EQ(1u, Stored("", "Options").Word()) << "settings values stay";
    DeleteProfiles();  // nothing left to delete
    DeleteTree(HKEY_CURRENT_USER, COMPANY_KEY_PATH);
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

TEST_F(RegistryTest, AProfileThatCannotBeOpenedStopsTheLoadAndIsKept)
{
    PutText("Profiles\\alpha", "Address", "alpha@host");
    PutText("Profiles\\beta", "Address", "beta@host");
    PutText("Profiles\\gamma", "Address", "gamma@host");
    RestrictKey(Path("Profiles\\beta"), 0);
    HKEY probe;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path("Profiles\\beta").c_str(), 0, KEY_READ, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this registry does not enforce key security";
    }
    ASSERT_EQ(0, Reload());
    std::vector<SeenBox> boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Couldn't open profile subkey", boxes[0].caption);
    EXPECT_EQ((std::vector<std::string>{"alpha"}), Descriptions()) << "the entries read so far stay";
    EXPECT_EQ(1, Settings.saveAtExit);

    // The save keeps what the load could not read.
    AddEntry("delta", "delta@host");
    SaveSettings();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ((std::vector<std::string>{"alpha", "beta", "delta", "gamma"}), Subkeys(PROFILES_KEY_PATH));
    EXPECT_EQ("gamma@host", Stored("Profiles\\gamma", "Address").Text());
    EXPECT_EQ("delta@host", Stored("Profiles\\delta", "Address").Text());

    // An entry of an unread profile's name goes elsewhere rather than over it.
    AddEntry("Gamma", "new gamma@host");
    SaveSettings();
    EXPECT_EQ("gamma@host", Stored("Profiles\\gamma", "Address").Text());
    EXPECT_EQ("new gamma@host", Stored("Profiles\\Gamma (2)", "Address").Text());
}

TEST_F(RegistryTest, AFailedProgramKeyKeepsTheStoredProfiles)
{
    AddEntry("Stored", "stored@host");
    SaveSettings();
    RestrictKey(PROGRAM_KEY_PATH, KEY_READ | WRITE_DAC);
    HKEY probe;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, 0, KEY_ALL_ACCESS, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this registry does not enforce key security";
    }
    FreeAllEntries();
    SaveSettings();
    std::vector<SeenBox> boxes = TakeBoxes();
    RestrictKey(PROGRAM_KEY_PATH, KEY_ALL_ACCESS);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Couldn't create program registry key", boxes[0].caption);
    EXPECT_EQ("stored@host", Stored("Profiles\\Stored", "Address").Text());
}

}  // namespace
