#include "entries/registry.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/settings.h"

// Numbers, the rectangle and the font are stored as their little-endian
// memory image, which on this processor is the record's own memory.
static_assert(sizeof(uint32_t) == 4 && sizeof(RECT) == 16 && sizeof(LOGFONTA) == 60, "stored value sizes");

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

LONG SubkeyName(HKEY key, DWORD index, char name[KEY_NAME_SIZE])
{
    DWORD length = KEY_NAME_SIZE;
    LONG result = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS)
        name[0] = '\0';
    return result;
}

// Reads a value into a buffer of `size` bytes without looking at its type.
// Returns the number of bytes read, or -1 when the value is missing or
// larger than the buffer.
long ReadRaw(HKEY key, const char* name, void* buffer, DWORD size)
{
    DWORD length = size;
    if (RegQueryValueExA(key, name, nullptr, nullptr, static_cast<BYTE*>(buffer), &length) != ERROR_SUCCESS)
        return -1;
    return static_cast<long>(length);
}

// A number, the rectangle or the font: taken only when the value has exactly
// the field's size, so a short value never leaves half a number behind.
bool ReadFixed(HKEY key, const char* name, void* field, DWORD size)
{
    unsigned char scratch[sizeof(LOGFONTA)];
    if (size > sizeof scratch || ReadRaw(key, name, scratch, size) != static_cast<long>(size))
        return false;
    memcpy(field, scratch, size);
    return true;
}

template <typename Word>
bool ReadWord(HKEY key, const char* name, Word& field)
{
    static_assert(sizeof(Word) == 4, "stored numbers are 4 bytes");
    return ReadFixed(key, name, &field, sizeof field);
}

// A text: taken when it fits the field together with its terminating NUL,
// whether or not the stored bytes end with one.
bool ReadText(HKEY key, const char* name, char* field, DWORD size)
{
    char scratch[PATH_SIZE];
    if (size > sizeof scratch)
        return false;
    long length = ReadRaw(key, name, scratch, size);
    if (length < 0)
        return false;
    size_t used = strnlen(scratch, static_cast<size_t>(length));
    if (used >= size)
        return false;
    memcpy(field, scratch, used);
    field[used] = '\0';
    return true;
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
        ReadText(key.handle, "Startup", Settings.startupFolder, PATH_SIZE);
}

const char* const GroupValueNames[3] = {"Batch1Name", "Batch2Name", "Batch3Name"};
const char* const ColumnValueNames[LIST_COLUMNS] = {"Col1cx", "Col2cx", "Col3cx", "Col4cx", "Col5cx"};
constexpr int FIRST_NAMED_GROUP = 2;
// The list view styles: large icons 0, details 1, small icons 2, list 3.
constexpr uint32_t LIST_STYLE_DETAILS = 1;
constexpr uint32_t LIST_STYLE_LAST = 3;

// "NumButtons" has been read and capped. The layout is taken when "Toolbar"
// fits the field and holds whole ids; it gives at most toolbarCount of them,
// and toolbarCount becomes the number it really gave. A layout that cannot
// be read leaves the default layout rather than a row of empty buttons.
void ReadToolbar(HKEY key)
{
    if (Settings.toolbarCount <= 0)
        return;
    int32_t ids[TOOLBAR_MAX];
    long length = ReadRaw(key, "Toolbar", ids, sizeof ids);
    if (length < 0 || length % sizeof(int32_t) != 0) {
        Settings.toolbarCount = -1;
        return;
    }
    int32_t count = static_cast<int32_t>(length / sizeof(int32_t));
    if (count > Settings.toolbarCount)
        count = Settings.toolbarCount;
    memcpy(Settings.SavedToolbarLayout, ids, static_cast<size_t>(count) * sizeof(int32_t));
    Settings.toolbarCount = count;
}

void ReadProgramKey()
{
    RegistryKey key;
    if (OpenKey(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, KEY_READ, key) != ERROR_SUCCESS)
        return;
    HKEY k = key.handle;
    ReadWord(k, "Options", Settings.options);
    ReadWord(k, "MaxAllocSize", Settings.maxAllocSize);
    if (Settings.maxAllocSize >= MIN_ALLOC_SIZE && Settings.maxAllocSize <= MAX_ALLOC_SIZE)
        Settings.maxAllocSizeSaved = Settings.maxAllocSize;
    else
        Settings.maxAllocSize = DEFAULT_ALLOC_SIZE;
    ReadFixed(k, "Rect", &Settings.windowRect, sizeof Settings.windowRect);
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
    // A save stores up to TOOLBAR_MAX ids, so a full layout loads whole. Any
    // negative count means no layout of the user's own, as -1 does.
    if (Settings.toolbarCount > TOOLBAR_MAX)
        Settings.toolbarCount = TOOLBAR_MAX;
    else if (Settings.toolbarCount < 0)
        Settings.toolbarCount = -1;
    ReadToolbar(k);
    // The list view indexes its columns and shifts the sort bits by this
    // column, and ors the style into its window style: keep both in range.
    ReadWord(k, "Last Column Sorted", Settings.sortColumn);
    if (Settings.sortColumn < 0 || Settings.sortColumn >= LIST_COLUMNS)
        Settings.sortColumn = 0;
    ReadWord(k, "LV Style", Settings.listStyle);
    if (Settings.listStyle > LIST_STYLE_LAST)
        Settings.listStyle = LIST_STYLE_DETAILS;
    ReadWord(k, "Display Split", Settings.DisplaySplit);
    if (Settings.DisplaySplit < 0 || Settings.DisplaySplit > 9)
        Settings.DisplaySplit = DEFAULT_DISPLAY_SPLIT;
    ReadWord(k, "Network Timeout", Settings.networkTimeout);
    if (Settings.networkTimeout < MIN_NETWORK_TIMEOUT || Settings.networkTimeout > MAX_NETWORK_TIMEOUT)
        Settings.networkTimeout = DEFAULT_NETWORK_TIMEOUT;
}

// True when a save could have stored an entry of this description under
// this key name, so that the profile's "Description" value is its own and
// not left over from a key renamed by hand.
bool KeyNameBelongsTo(const char* keyName, const char* description)
{
    char name[DESCRIPTION_SIZE];
    ProfileKeyName(description, 1, name, sizeof name);
    if (strcmp(keyName, name) == 0)
        return true;
    const char* open = strrchr(keyName, '(');
    if (!open || open == keyName || open[-1] != ' ')
        return false;
    unsigned copy = 0;
    const char* digit = open + 1;
    for (; *digit >= '0' && *digit <= '9' && digit - open <= 9; ++digit)
        copy = copy * 10 + static_cast<unsigned>(*digit - '0');
    if (digit == open + 1 || strcmp(digit, ")") != 0 || copy < 2)
        return false;
    ProfileKeyName(description, copy, name, sizeof name);
    return strcmp(keyName, name) == 0;
}

void ReadProfileValues(HKEY key, FingerEntry& entry)
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
    if (static_cast<int32_t>(entry.points) < 40)
        entry.points = 120;
    ReadFixed(key, "Font", &entry.font, sizeof entry.font);
    entry.font.lfFaceName[LF_FACESIZE - 1] = '\0';
    if (entry.font.lfFaceName[0] == '\0')
        entry.font = DefaultEntryFont;
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
    for (DWORD index = 0;; ++index) {
        char keyName[KEY_NAME_SIZE];
        LONG result = SubkeyName(profiles.handle, index, keyName);
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
        snprintf(prototype.description, sizeof prototype.description, "%.*s", DESCRIPTION_SIZE - 1, keyName);
        char description[DESCRIPTION_SIZE];
        if (ReadText(profile.handle, PROFILE_DESCRIPTION_VALUE, description, sizeof description) &&
            KeyNameBelongsTo(keyName, description))
            memcpy(prototype.description, description, sizeof description);
        ReadProfileValues(profile.handle, prototype);
        profile.Close();
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

LONG WriteProfileValues(HKEY key, const FingerEntry& entry, const std::string& name)
{
    LONG results[] = {
        WriteText(key, "Address", entry.address, ADDRESS_SIZE),
        WriteText(key, "Monitor Log", entry.monitorFile, MONITOR_NAME_SIZE),
        WriteWord(key, "Flags", entry.flags),
        WriteText(key, "Icon Filename", entry.iconFile, PATH_SIZE),
        WriteWord(key, "Icon Index", entry.iconIndex),
        WriteWord(key, "NumFingers", entry.fingerCount),
        WriteWord(key, "Colour", entry.colour),
        WriteWord(key, "Points", entry.points),
        WriteBinary(key, "Font", &entry.font, sizeof entry.font),
        WriteWord(key, "Period", entry.period),
        WriteWord(key, "Interval", entry.interval),
        WriteWord(key, "Last Fingered", entry.lastFingered),
        strncmp(name.c_str(), entry.description, DESCRIPTION_SIZE) == 0
            ? ERROR_SUCCESS
            : WriteText(key, PROFILE_DESCRIPTION_VALUE, entry.description, DESCRIPTION_SIZE),
    };
    for (LONG result : results)
        if (result != ERROR_SUCCESS)
            return result;
    return ERROR_SUCCESS;
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
    for (LONG result : results)
        if (result != ERROR_SUCCESS)
            return result;
    return ERROR_SUCCESS;
}

}

void ProfileKeyName(const char* description, unsigned copy, char* name, int size)
{
    if (!name || size <= 0)
        return;
    char base[DESCRIPTION_SIZE];
    snprintf(base, sizeof base, "%.*s", DESCRIPTION_SIZE - 1, description[0] ? description : EMPTY_DESCRIPTION_PROFILE);
    for (char* c = base; *c; ++c)
        if (*c == '\\')
            *c = '/';
    if (copy <= 1) {
        snprintf(name, static_cast<size_t>(size), "%s", base);
        return;
    }
    char suffix[16];
    int suffixLength = snprintf(suffix, sizeof suffix, " (%u)", copy);
    int keep = DESCRIPTION_SIZE - 1 - suffixLength;
    snprintf(name, static_cast<size_t>(size), "%.*s%s", keep, base, suffix);
}

int LoadSettings(RegistryErrors& errors)
{
    SetDefaultSettings();
    while (EntryList.head)
        FreeFingerEntry(EntryList.head);
    EntryList = {};
    UnreadProfiles.clear();
    ReadStartupFolder();
    Settings.saveAtExit = 1;
    ReadProgramKey();
    if (Settings.whoisServer[0] == '\0')
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "%s", DEFAULT_WHOIS_SERVER);
    return LoadProfiles(errors);
}

void DeleteProfiles(RegistryErrors& errors)
{
    RegistryKey profiles;
    LONG result = OpenKey(HKEY_CURRENT_USER, PROFILES_KEY_PATH, KEY_ALL_ACCESS, profiles);
    if (result != ERROR_SUCCESS) {
        if (result != ERROR_FILE_NOT_FOUND)
            errors.push_back({result, "Couldn't open profiles key"});
        return;
    }
    DWORD count = 0;
    result = CountSubkeys(profiles.handle, count);
    if (result != ERROR_SUCCESS) {
        errors.push_back({result, "Couldn't query number of profile subkeys"});
        return;
    }
    // From the highest index down, so the indices still to visit stay valid
    // while subkeys disappear. A profile that cannot be named or deleted is
    // reported once and passed over: the others still go.
    ErrorReport report{errors};
    for (DWORD index = count; index-- > 0;) {
        char name[KEY_NAME_SIZE];
        result = SubkeyName(profiles.handle, index, name);
        if (result != ERROR_SUCCESS) {
            Report(report, result, "Couldn't enumerate registry subkeys");
            continue;
        }
        if (IsUnreadProfile(name))
            continue;
        Report(report, DeleteKeyTree(profiles.handle, name), "Couldn't delete profile subkey");
    }
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
    DeleteProfiles(errors);
    ErrorReport report{errors};
    Report(report, WriteProgramValues(program.handle), "Couldn't write registry value");

    std::vector<const FingerEntry*> entries = StoredEntries();
    if (entries.empty())
        return;
    RegistryKey profiles;
    result = CreateKey(program.handle, "Profiles", profiles, nullptr);
    if (result != ERROR_SUCCESS) {
        Report(report, result, "Couldn't create profile subkey");
        return;
    }
    ProfilePlan plan = PlanProfileNames(entries);
    for (size_t i = 0; i < entries.size(); ++i) {
        RegistryKey profile;
        result = CreateProfile(profiles.handle, *entries[i], plan, plan.names[i], profile);
        if (result != ERROR_SUCCESS) {
            Report(report, result, "Couldn't create profile subkey");
            continue;
        }
        Report(report, WriteProfileValues(profile.handle, *entries[i], plan.names[i]), "Couldn't write registry value");
    }
}
