#include "entries/registry.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"
#include "entries/stored_values.h"

// A stored font is the little-endian memory image of the record, which on
// this processor is the record's own memory.
static_assert(sizeof(LOGFONTA) == STORED_FONT_SIZE && offsetof(LOGFONTA, lfFaceName) == FONT_FACE_OFFSET,
              "stored font layout");

namespace {

// Key names are at most 255 characters; enumeration asks with room for 260.
constexpr DWORD KEY_NAME_SIZE = 260;
// How many further copy names a save tries for one entry before giving up.
constexpr unsigned COPY_NAME_ATTEMPTS = 10000;

// An open registry key, closed when it goes out of scope.
struct RegistryKey {
    HKEY handle = nullptr;

    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { Close(); }

    void Close()
    {
        if (handle)
            RegCloseKey(handle);
        handle = nullptr;
    }
};

// Profiles that a load which stopped early never read, by key name in the
// folded form below. The next save keeps them as they are, so stopping does
// not cost the user entries.
std::unordered_set<std::string> UnreadProfiles;

// A value of a profile key exactly as stored.
struct ProfileValue {
    std::string name;
    DWORD type;
    std::string bytes;
};
using ProfileValues = std::vector<ProfileValue>;

// What the load read of each profile, by exact key name: when it was last
// written and all it held (its values in a fixed order, empty when it also
// had subkeys). A save leaves a profile alone whose key has not been written
// since and holds just what the save would write, so an unchanged list
// writes almost nothing.
struct LoadedProfile {
    FILETIME written;
    std::string image;
};
std::unordered_map<std::string, LoadedProfile> LoadedProfiles;

LONG OpenKey(HKEY parent, const char* path, REGSAM access, RegistryKey& key)
{
    key.Close();
    HKEY handle = nullptr;
    LONG result = RegOpenKeyExA(parent, path, 0, access, &handle);
    if (result == ERROR_SUCCESS)
        key.handle = handle;
    return result;
}

LONG CreateKey(HKEY parent, const char* path, RegistryKey& key, DWORD* disposition)
{
    key.Close();
    char noClass[] = "";
    HKEY handle = nullptr;
    DWORD created = 0;
    LONG result = RegCreateKeyExA(parent, path, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &handle, &created);
    if (result == ERROR_SUCCESS)
        key.handle = handle;
    if (disposition)
        *disposition = created;
    return result;
}

LONG CountSubkeys(HKEY key, DWORD& count)
{
    count = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr);
}

LONG SubkeyName(HKEY key, DWORD index, char name[KEY_NAME_SIZE], FILETIME* written = nullptr)
{
    DWORD length = KEY_NAME_SIZE;
    LONG result = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, written);
    if (result != ERROR_SUCCESS)
        name[0] = '\0';
    return result;
}

// Value names compare as the registry compares them; those the program
// looks for are plain ASCII.
int CompareValueNames(const std::string& a, const char* b)
{
    for (size_t i = 0;; ++i) {
        const int x = static_cast<unsigned char>(i < a.size() ? a[i] : '\0');
        const int y = static_cast<unsigned char>(b[i]);
        const int upperX = x >= 'a' && x <= 'z' ? x - 32 : x;
        const int upperY = y >= 'a' && y <= 'z' ? y - 32 : y;
        if (upperX != upperY || x == 0 || i >= a.size())
            return upperX - upperY;
    }
}

// Where reads find values: an open key, or the values of a profile already
// read whole.
struct ValueSource {
    HKEY key;
    const ProfileValues* values;
};

// Reads a value into a buffer of `size` bytes, the most its field allows,
// without looking at its type; a value that does not fit counts as missing.
StoredValue ReadValue(const ValueSource& source, const char* name, unsigned char* buffer, DWORD size)
{
    if (source.values) {
        for (const ProfileValue& value : *source.values) {
            if (CompareValueNames(value.name, name) != 0)
                continue;
            if (value.bytes.size() > size)
                return {nullptr, 0};
            memcpy(buffer, value.bytes.data(), value.bytes.size());
            return {buffer, value.bytes.size()};
        }
        return {nullptr, 0};
    }
    DWORD length = size;
    if (RegQueryValueExA(source.key, name, nullptr, nullptr, buffer, &length) != ERROR_SUCCESS)
        return {nullptr, 0};
    return {buffer, length};
}

// The values of a profile as one string, in an order that does not depend
// on the order they came in.
std::string ValuesImage(const ProfileValues& values)
{
    std::vector<const ProfileValue*> sorted;
    sorted.reserve(values.size());
    for (const ProfileValue& value : values)
        sorted.push_back(&value);
    std::sort(sorted.begin(), sorted.end(), [](const ProfileValue* a, const ProfileValue* b) {
        const int order = CompareValueNames(a->name, b->name.c_str());
        return order != 0 ? order < 0 : a->name < b->name;
    });
    std::string image;
    for (const ProfileValue* value : sorted) {
        const uint32_t header[2] = {value->type, static_cast<uint32_t>(value->bytes.size())};
        image.append(value->name.c_str(), value->name.size() + 1);
        image.append(reinterpret_cast<const char*>(header), sizeof header);
        image += value->bytes;
    }
    return image;
}

// Reads every value of a profile key in one pass. False when the key has
// subkeys or a value could not be read whole: its fields are then read by
// name, as the key itself answers.
bool ReadWholeProfile(HKEY key, ProfileValues& values)
{
    values.clear();
    DWORD subkeys = 0;
    DWORD count = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &count, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0)
        return false;
    std::vector<char> name(longestName + 1);
    std::string data(longestData, '\0');
    for (DWORD index = 0; index < count; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD dataLength = static_cast<DWORD>(data.size());
        if (RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                          &dataLength) != ERROR_SUCCESS)
            return false;
        values.push_back({std::string(name.data(), nameLength), type, data.substr(0, dataLength)});
    }
    return true;
}

template <typename Word>
void ReadWord(const ValueSource& key, const char* name, Word& field)
{
    static_assert(sizeof(Word) == STORED_WORD_SIZE, "stored numbers are 4 bytes");
    unsigned char buffer[STORED_WORD_SIZE];
    uint32_t word = 0;
    if (DecodeWord(ReadValue(key, name, buffer, sizeof buffer), word))
        field = static_cast<Word>(word);
}

void ReadText(const ValueSource& key, const char* name, char* field, DWORD size)
{
    unsigned char buffer[PATH_SIZE];
    if (size <= sizeof buffer)
        DecodeText(ReadValue(key, name, buffer, size), field, size);
}

LONG WriteBinary(HKEY key, const char* name, const void* data, DWORD size)
{
    return RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
}

template <typename Word>
LONG WriteWord(HKEY key, const char* name, const Word& field)
{
    static_assert(sizeof(Word) == 4, "stored numbers are 4 bytes");
    return WriteBinary(key, name, &field, sizeof field);
}

// Writes a text field as REG_SZ with its terminating NUL; a field that lacks
// one is cut to its width less one.
LONG WriteText(HKEY key, const char* name, const char* field, size_t size)
{
    std::string text(field, strnlen(field, size - 1));
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

bool IsUnreadProfile(const char* name)
{
    return UnreadProfiles.count(FoldedName(name)) != 0;
}

// Deletes a key and, should it have any, the keys below it.
LONG DeleteKeyTree(HKEY parent, const char* name)
{
    LONG result = RegDeleteKeyA(parent, name);
    if (result == ERROR_SUCCESS)
        return result;
    RegistryKey key;
    DWORD count = 0;
    if (OpenKey(parent, name, KEY_ALL_ACCESS, key) != ERROR_SUCCESS || CountSubkeys(key.handle, count) != ERROR_SUCCESS ||
        count == 0)
        return result;
    for (DWORD index = count; index-- > 0;) {
        char child[KEY_NAME_SIZE];
        if (SubkeyName(key.handle, index, child) == ERROR_SUCCESS)
            DeleteKeyTree(key.handle, child);
    }
    key.Close();
    return RegDeleteKeyA(parent, name);
}

// Keeps the first registry failure of one operation; later ones would only
// repeat it.
struct ErrorReport {
    RegistryErrors& errors;
    bool kept = false;
};

void Report(ErrorReport& report, LONG result, const char* title)
{
    if (result == ERROR_SUCCESS || report.kept)
        return;
    report.kept = true;
    report.errors.push_back({result, title});
}

void ReadStartupFolder()
{
    RegistryKey key;
    if (OpenKey(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY_PATH, KEY_READ, key) == ERROR_SUCCESS)
        ReadText({key.handle, nullptr}, "Startup", Settings.startupFolder, PATH_SIZE);
}

const char* const GroupValueNames[3] = {"Batch1Name", "Batch2Name", "Batch3Name"};
const char* const ColumnValueNames[LIST_COLUMNS] = {"Col1cx", "Col2cx", "Col3cx", "Col4cx", "Col5cx"};
constexpr int FIRST_NAMED_GROUP = 2;

void ReadRect(const ValueSource& key, const char* name, RECT& field)
{
    unsigned char buffer[STORED_RECT_SIZE];
    int32_t rect[4];
    if (DecodeRect(ReadValue(key, name, buffer, sizeof buffer), rect))
        field = {rect[0], rect[1], rect[2], rect[3]};
}

// "NumButtons" has been read into toolbarCount.
void ReadToolbar(const ValueSource& key)
{
    unsigned char buffer[STORED_TOOLBAR_SIZE];
    Settings.toolbarCount = DecodeToolbar(Settings.toolbarCount, ReadValue(key, "Toolbar", buffer, sizeof buffer),
                                          Settings.SavedToolbarLayout);
}

// A font without a face name gives the default entry font.
void ReadFont(const ValueSource& key, const char* name, LOGFONTA& field)
{
    unsigned char buffer[STORED_FONT_SIZE];
    unsigned char font[STORED_FONT_SIZE];
    if (DecodeFont(ReadValue(key, name, buffer, sizeof buffer), font))
        memcpy(&field, font, sizeof field);
    else
        field = DefaultEntryFont;
}

void ReadProgramKey()
{
    RegistryKey key;
    if (OpenKey(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, KEY_READ, key) != ERROR_SUCCESS)
        return;
    const ValueSource k{key.handle, nullptr};
    ReadWord(k, "Options", Settings.options);
    ReadWord(k, "MaxAllocSize", Settings.maxAllocSize);
    Settings.maxAllocSize = InRange(Settings.maxAllocSize, ALLOC_SIZE_RANGE);
    Settings.maxAllocSizeSaved = Settings.maxAllocSize;
    ReadRect(k, "Rect", Settings.windowRect);
    ReadWord(k, "NumButtons", Settings.toolbarCount);
    ReadText(k, "Log File", Settings.logFile, PATH_SIZE);
    for (int g = 0; g < 3; ++g)
        ReadText(k, GroupValueNames[g], Settings.groupNames[FIRST_NAMED_GROUP + g], GROUP_NAME_SIZE);
    for (int c = 0; c < LIST_COLUMNS; ++c)
        ReadWord(k, ColumnValueNames[c], Settings.columnWidths[c]);
    ReadText(k, "Output Path", Settings.outputPath, PATH_SIZE);
    ReadText(k, "Finger Entries Path", Settings.entriesPath, PATH_SIZE);
    ReadText(k, "WHOIS Server", Settings.whoisServer, WHOIS_HOST_SIZE);
    ReadText(k, "User Browser", Settings.userBrowser, PATH_SIZE);
    ReadToolbar(k);
    // The list view indexes its columns and shifts the sort bits by this
    // column, and ors the style into its window style: keep both in range.
    ReadWord(k, "Last Column Sorted", Settings.sortColumn);
    Settings.sortColumn = InRange(Settings.sortColumn, SORT_COLUMN_RANGE);
    ReadWord(k, "LV Style", Settings.listStyle);
    Settings.listStyle = InRange(Settings.listStyle, LIST_STYLE_RANGE);
    ReadWord(k, "Display Split", Settings.DisplaySplit);
    Settings.DisplaySplit = InRange(Settings.DisplaySplit, DISPLAY_SPLIT_RANGE);
    ReadWord(k, "Network Timeout", Settings.networkTimeout);
    Settings.networkTimeout = InRange(Settings.networkTimeout, NETWORK_TIMEOUT_RANGE);
    ReadWord(k, "Fetch Limit", Settings.fetchLimit);
    Settings.fetchLimit = InRange(Settings.fetchLimit, FETCH_LIMIT_RANGE);
    uint32_t follow = Settings.followReferrals;
    ReadWord(k, "Follow Whois Referrals", follow);
    Settings.followReferrals = follow != 0;
}

void DecodeProfileValues(const ValueSource& key, FingerEntry& entry)
{
    ReadText(key, "Address", entry.address, ADDRESS_SIZE);
    ReadText(key, "Monitor Log", entry.monitorFile, MONITOR_NAME_SIZE);
    ReadText(key, "Icon Filename", entry.iconFile, PATH_SIZE);
    ReadWord(key, "Icon Index", entry.iconIndex);
    ReadWord(key, "Flags", entry.flags);
    ReadWord(key, "NumFingers", entry.fingerCount);
    ReadWord(key, "Period", entry.period);
    ReadWord(key, "Interval", entry.interval);
    ReadWord(key, "Last Fingered", entry.lastFingered);
    ReadWord(key, "Colour", entry.colour);
    ReadWord(key, "Points", entry.points);
    entry.points = static_cast<uint32_t>(InRange(static_cast<int32_t>(entry.points), POINTS_RANGE));
    ReadFont(key, "Font", entry.font);
    entry.flags &= ~(FE_NOTIFY_OPEN | FE_TEMPORARY);
}

// Remembers the profiles from `index` on, which a load that stops here has
// not read, so that the next save does not delete them.
void KeepUnreadProfiles(HKEY profiles, DWORD index)
{
    DWORD count = 0;
    if (CountSubkeys(profiles, count) != ERROR_SUCCESS)
        return;
    for (DWORD i = index; i < count; ++i) {
        char name[KEY_NAME_SIZE];
        if (SubkeyName(profiles, i, name) == ERROR_SUCCESS)
            UnreadProfiles.insert(FoldedName(name));
    }
}

int LoadProfiles(RegistryErrors& errors)
{
    RegistryKey profiles;
    if (OpenKey(HKEY_CURRENT_USER, PROFILES_KEY_PATH, KEY_READ, profiles) != ERROR_SUCCESS)
        return 0;
    ProfileValues values;
    for (DWORD index = 0;; ++index) {
        char keyName[KEY_NAME_SIZE];
        FILETIME written = {};
        LONG result = SubkeyName(profiles.handle, index, keyName, &written);
        if (result == ERROR_NO_MORE_ITEMS)
            return 0;
        if (result != ERROR_SUCCESS) {
            errors.push_back({result, "Couldn't enumerate registry subkeys"});
            KeepUnreadProfiles(profiles.handle, index);
            return 0;
        }
        FingerEntry prototype;
        ZeroMemory(&prototype, sizeof prototype);
        RegistryKey profile;
        result = OpenKey(profiles.handle, keyName, KEY_READ, profile);
        if (result != ERROR_SUCCESS) {
            errors.push_back({result, "Couldn't open profile subkey"});
            KeepUnreadProfiles(profiles.handle, index);
            return 0;
        }
        const bool whole = ReadWholeProfile(profile.handle, values);
        const ValueSource source{profile.handle, whole ? &values : nullptr};
        unsigned char stored[DESCRIPTION_SIZE];
        ProfileDescription(keyName, ReadValue(source, PROFILE_DESCRIPTION_VALUE, stored, sizeof stored),
                           prototype.description);
        DecodeProfileValues(source, prototype);
        profile.Close();
        if (whole)
            LoadedProfiles[keyName] = {written, ValuesImage(values)};
        if (!AllocateFingerEntry(prototype)) {
            Settings.saveAtExit = 0;
            return 1;
        }
    }
}

// The entries a save stores: every listed entry but the temporary ones of
// quick finger and quick whois, which live only as long as their job.
std::vector<const FingerEntry*> StoredEntries()
{
    std::vector<const FingerEntry*> entries;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        if (!(entry->flags & FE_TEMPORARY))
            entries.push_back(entry);
    return entries;
}

// Key names for the stored entries, in list order. Every entry whose plain
// name is still free keeps it, so the first of a description (in any letter
// case) is stored under it exactly as before; each later one takes the first
// free copy name. Names of unread profiles are never given out.
struct ProfilePlan {
    std::vector<std::string> names;
    std::unordered_set<std::string> taken;
};

std::string KeyNameFor(const FingerEntry& entry, unsigned copy)
{
    char name[DESCRIPTION_SIZE];
    ProfileKeyName(entry.description, copy, name, sizeof name);
    return name;
}

ProfilePlan PlanProfileNames(const std::vector<const FingerEntry*>& entries)
{
    ProfilePlan plan;
    plan.names.resize(entries.size());
    plan.taken = UnreadProfiles;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string name = KeyNameFor(*entries[i], 1);
        if (plan.taken.insert(FoldedName(name)).second)
            plan.names[i] = name;
    }
    std::unordered_map<std::string, unsigned> nextCopy;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!plan.names[i].empty())
            continue;
        unsigned& copy = nextCopy[FoldedName(KeyNameFor(*entries[i], 1))];
        if (copy < 2)
            copy = 2;
        std::string name = KeyNameFor(*entries[i], copy);
        while (!plan.taken.insert(FoldedName(name)).second)
            name = KeyNameFor(*entries[i], ++copy);
        ++copy;
        plan.names[i] = name;
    }
    return plan;
}

// Creates the entry's profile under a key name that no other profile has.
// When the planned name turns out to exist already (a profile the deletion
// could not remove), the entry moves on to a free copy name rather than
// overwrite it.
LONG CreateProfile(HKEY profiles, const FingerEntry& entry, ProfilePlan& plan, std::string& name, RegistryKey& key)
{
    DWORD disposition = 0;
    LONG result = CreateKey(profiles, name.c_str(), key, &disposition);
    for (unsigned copy = 2; result == ERROR_SUCCESS && disposition != REG_CREATED_NEW_KEY; ++copy) {
        key.Close();
        if (copy >= COPY_NAME_ATTEMPTS)
            return ERROR_ALREADY_EXISTS;
        std::string candidate = KeyNameFor(entry, copy);
        if (!plan.taken.insert(FoldedName(candidate)).second)
            continue;
        name = candidate;
        result = CreateKey(profiles, name.c_str(), key, &disposition);
    }
    return result;
}

ProfileValue TextValue(const char* name, const char* field, size_t size)
{
    std::string text(field, strnlen(field, size - 1));
    text += '\0';
    return {name, REG_SZ, text};
}

template <typename Field>
ProfileValue BinaryValue(const char* name, const Field& field)
{
    return {name, REG_BINARY, std::string(reinterpret_cast<const char*>(&field), sizeof field)};
}

// The values a save stores for an entry under the key name, in the order
// they are written.
ProfileValues ProfileValuesOf(const FingerEntry& entry, const std::string& name)
{
    static_assert(sizeof entry.flags == 4 && sizeof entry.lastFingered == 4, "stored numbers are 4 bytes");
    ProfileValues values = {
        TextValue("Address", entry.address, ADDRESS_SIZE),
        TextValue("Monitor Log", entry.monitorFile, MONITOR_NAME_SIZE),
        BinaryValue("Flags", entry.flags),
        TextValue("Icon Filename", entry.iconFile, PATH_SIZE),
        BinaryValue("Icon Index", entry.iconIndex),
        BinaryValue("NumFingers", entry.fingerCount),
        BinaryValue("Colour", entry.colour),
        BinaryValue("Points", entry.points),
        BinaryValue("Font", entry.font),
        BinaryValue("Period", entry.period),
        BinaryValue("Interval", entry.interval),
        BinaryValue("Last Fingered", entry.lastFingered),
    };
    if (strncmp(name.c_str(), entry.description, DESCRIPTION_SIZE) != 0)
        values.push_back(TextValue(PROFILE_DESCRIPTION_VALUE, entry.description, DESCRIPTION_SIZE));
    return values;
}

// Writes every value; returns the first failure.
LONG WriteProfileValues(HKEY key, const ProfileValues& values)
{
    LONG first = ERROR_SUCCESS;
    for (const ProfileValue& value : values) {
        const LONG result = RegSetValueExA(key, value.name.c_str(), 0, value.type,
                                           reinterpret_cast<const BYTE*>(value.bytes.data()),
                                           static_cast<DWORD>(value.bytes.size()));
        if (first == ERROR_SUCCESS)
            first = result;
    }
    return first;
}

LONG WriteProgramValues(HKEY k)
{
    std::vector<LONG> results;
    results.push_back(WriteWord(k, "Options", Settings.options));
    results.push_back(WriteWord(k, "MaxAllocSize", Settings.maxAllocSizeSaved));
    results.push_back(WriteBinary(k, "Rect", &Settings.windowRect, sizeof Settings.windowRect));
    results.push_back(WriteWord(k, "NumButtons", Settings.toolbarCount));
    results.push_back(WriteWord(k, "Display Split", Settings.DisplaySplit));
    if (Settings.toolbarCount >= 0) {
        int32_t count = Settings.toolbarCount < TOOLBAR_MAX ? Settings.toolbarCount : TOOLBAR_MAX;
        results.push_back(WriteBinary(k, "Toolbar", Settings.SavedToolbarLayout,
                                      static_cast<DWORD>(count) * sizeof(int32_t)));
    }
    results.push_back(WriteText(k, "Log File", Settings.logFile, PATH_SIZE));
    results.push_back(WriteText(k, "Finger Entries Path", Settings.entriesPath, PATH_SIZE));
    results.push_back(WriteText(k, "WHOIS Server", Settings.whoisServer, WHOIS_HOST_SIZE));
    results.push_back(WriteText(k, "User Browser", Settings.userBrowser, PATH_SIZE));
    results.push_back(WriteText(k, "Output Path", Settings.outputPath, PATH_SIZE));
    for (int g = 0; g < 3; ++g)
        results.push_back(
            WriteText(k, GroupValueNames[g], Settings.groupNames[FIRST_NAMED_GROUP + g], GROUP_NAME_SIZE));
    results.push_back(WriteWord(k, "Last Column Sorted", Settings.sortColumn));
    results.push_back(WriteWord(k, "LV Style", Settings.listStyle));
    for (int c = 0; c < LIST_COLUMNS; ++c)
        results.push_back(WriteWord(k, ColumnValueNames[c], Settings.columnWidths[c]));
    results.push_back(WriteWord(k, "Network Timeout", Settings.networkTimeout));
    results.push_back(WriteWord(k, "Fetch Limit", Settings.fetchLimit));
    results.push_back(WriteWord(k, "Follow Whois Referrals", Settings.followReferrals ? 1u : 0u));
    for (LONG result : results)
        if (result != ERROR_SUCCESS)
            return result;
    return ERROR_SUCCESS;
}

// Profiles a save leaves as they are, by exact key name, with the time their
// key was last written when the load read it.
using UnchangedProfiles = std::unordered_map<std::string, FILETIME>;

// Removes the profiles but the unread ones and those unchanged whose key has
// not been written since the load; returns the names of the unchanged ones
// kept.
std::unordered_set<std::string> DeleteProfilesBut(RegistryErrors& errors, const UnchangedProfiles& unchanged)
{
    std::unordered_set<std::string> kept;
    RegistryKey profiles;
    LONG result = OpenKey(HKEY_CURRENT_USER, PROFILES_KEY_PATH, KEY_ALL_ACCESS, profiles);
    if (result != ERROR_SUCCESS) {
        if (result != ERROR_FILE_NOT_FOUND)
            errors.push_back({result, "Couldn't open profiles key"});
        return kept;
    }
    DWORD count = 0;
    result = CountSubkeys(profiles.handle, count);
    if (result != ERROR_SUCCESS) {
        errors.push_back({result, "Couldn't query number of profile subkeys"});
        return kept;
    }
    // From the highest index down, so the indices still to visit stay valid
    // while subkeys disappear. A profile that cannot be named or deleted is
    // reported once and passed over: the others still go.
    ErrorReport report{errors};
    for (DWORD index = count; index-- > 0;) {
        char name[KEY_NAME_SIZE];
        FILETIME written = {};
        result = SubkeyName(profiles.handle, index, name, &written);
        if (result != ERROR_SUCCESS) {
            Report(report, result, "Couldn't enumerate registry subkeys");
            continue;
        }
        if (IsUnreadProfile(name))
            continue;
        const auto same = unchanged.find(name);
        if (same != unchanged.end() && CompareFileTime(&same->second, &written) == 0) {
            kept.insert(name);
            continue;
        }
        Report(report, DeleteKeyTree(profiles.handle, name), "Couldn't delete profile subkey");
    }
    return kept;
}

}

int LoadSettings(RegistryErrors& errors)
{
    SetDefaultSettings();
    while (EntryList.head)
        FreeFingerEntry(EntryList.head);
    EntryList = {};
    UnreadProfiles.clear();
    LoadedProfiles.clear();
    ReadStartupFolder();
    Settings.saveAtExit = 1;
    ReadProgramKey();
    if (Settings.whoisServer[0] == '\0')
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "%s", DEFAULT_WHOIS_SERVER);
    return LoadProfiles(errors);
}

void SaveSettings(RegistryErrors& errors)
{
    if (Settings.saveAtExit != 1)
        return;
    // The program key comes first: when it cannot be had, the stored
    // profiles are left alone rather than deleted with nothing to replace them.
    RegistryKey program;
    LONG result = CreateKey(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, program, nullptr);
    if (result != ERROR_SUCCESS) {
        errors.push_back({result, "Couldn't create program registry key"});
        return;
    }
    std::vector<const FingerEntry*> entries = StoredEntries();
    ProfilePlan plan = PlanProfileNames(entries);
    std::vector<ProfileValues> values(entries.size());
    UnchangedProfiles unchanged;
    for (size_t i = 0; i < entries.size(); ++i) {
        values[i] = ProfileValuesOf(*entries[i], plan.names[i]);
        const auto loaded = LoadedProfiles.find(plan.names[i]);
        if (loaded != LoadedProfiles.end() && loaded->second.image == ValuesImage(values[i]))
            unchanged.emplace(plan.names[i], loaded->second.written);
    }
    const std::unordered_set<std::string> kept = DeleteProfilesBut(errors, unchanged);
    ErrorReport report{errors};
    Report(report, WriteProgramValues(program.handle), "Couldn't write registry value");

    if (entries.empty())
        return;
    RegistryKey profiles;
    result = CreateKey(program.handle, "Profiles", profiles, nullptr);
    if (result != ERROR_SUCCESS) {
        Report(report, result, "Couldn't create profile subkey");
        return;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (kept.count(plan.names[i]))
            continue;
        RegistryKey profile;
        const std::string planned = plan.names[i];
        result = CreateProfile(profiles.handle, *entries[i], plan, plan.names[i], profile);
        if (result != ERROR_SUCCESS) {
            Report(report, result, "Couldn't create profile subkey");
            continue;
        }
        // A copy name may need the description stored beside it.
        if (plan.names[i] != planned)
            values[i] = ProfileValuesOf(*entries[i], plan.names[i]);
        Report(report, WriteProfileValues(profile.handle, values[i]), "Couldn't write registry value");
    }
}
