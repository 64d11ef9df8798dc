// Stored settings and entries, loaded and saved here (both builds write and read the same recorded images in
// tests/data); and the built program run as its own process from a fresh folder with a prepared registry, judged by its
// exit code, its boxes, the queries its finger servers received, its log, monitor files and the registry it leaves.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/registry.h"
#include "entries/settings.h"
#include "resources/resource.h"
#include "support/program_fixture.h"
#include "support/registry_values.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

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

// A run that has not ended after this long is stuck; it is ended and fails. Its servers live on 127.0.1.x.
constexpr DWORD RUN_LIMIT_MS = 60000;
// The options of a user who has seen the welcome: no first-run boxes.
constexpr uint32_t QUIET_OPTIONS = OPT_REMEMBER_POSITION | OPT_NETWORK | OPT_WELCOME_SHOWN;

// A 4-byte number as a save writes it.
uint32_t StoredWord(const std::string& below, const char* name)
{
    const RawValue value = ReadValue(below, name);
    uint32_t word = 0;
    EXPECT_TRUE(value.type == REG_BINARY && value.bytes.size() == sizeof word) << below << " " << name;
    memcpy(&word, value.bytes.data(), std::min(value.bytes.size(), sizeof word));
    return word;
}

// A fresh folder with a copy of the program and its documents, for its Monitor folder and log.
struct RunFolder {
    std::string path = TempFolder() + "\\run" + std::to_string(++serial);
    static inline int serial = 0;

    static std::string Dist()
    {
        char self[MAX_PATH];
        std::string folder(self, GetModuleFileNameA(nullptr, self, sizeof self));
        folder.resize(folder.find_last_of("\\/"));
        return folder.substr(0, folder.find_last_of("\\/")) + "\\dist\\";
    }
    RunFolder()
    {
        RemoveFolderTree(path);
        CreateDirectoryA(path.c_str(), nullptr);
        for (const char* name : {"Ombrelane.exe", "Welcome.rtf"})
            CopyFileA((Dist() + name).c_str(), File(name).c_str(), FALSE);
    }
    ~RunFolder() { RemoveFolderTree(path); }
    std::string File(const std::string& name) const { return path + "\\" + name; }
    std::string Log() const { return File("Ombrelane Log.txt"); }
};

struct ChildBox {
    std::string caption, text;
    HWND window;
};
// The button to press in a box (its WM_COMMAND id), or 0 to leave it open.
using BoxAnswer = std::function<int(const ChildBox&)>;
const BoxAnswer PressOk = [](const ChildBox&) { return IDOK; };

// One started copy of the program, answering its boxes from outside; ended when it goes out of scope.
struct ProgramRun {
    PROCESS_INFORMATION process = {};
    std::vector<ChildBox> boxes;
    std::vector<HWND> handled;

    ProgramRun(const RunFolder& folder, const std::string& switches)
    {
        std::string line = '"' + folder.File("Ombrelane.exe") + "\" " + switches;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        EXPECT_TRUE(CreateProcessA(folder.File("Ombrelane.exe").c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, folder.path.c_str(), &startup, &process));
    }
    ~ProgramRun()
    {
        if (process.hProcess) {
            End();
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
    bool Ended() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }
    // Ends the program if it still runs; its exit code.
    DWORD End()
    {
        if (!Ended())
            TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 10000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    // The next visible top-level window of the program with the given class.
    HWND NextWindow(const char* className, HWND after = nullptr) const
    {
        while ((after = FindWindowExA(nullptr, after, className, nullptr)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(after, &owner);
            if (owner == process.dwProcessId && IsWindowVisible(after))
                return after;
        }
        return nullptr;
    }
    HWND MainWindow() const { return NextWindow("Ombrelane"); }

    // Answers every new box as answer says until done() holds or the time is up; returns the last done().
    bool WaitAnswering(const BoxAnswer& answer, const std::function<bool()>& done, DWORD limitMs = RUN_LIMIT_MS)
    {
        for (const DWORD start = GetTickCount();; Sleep(20)) {
            std::erase_if(handled, [](HWND window) { return !IsWindow(window); });
            for (HWND window = NextWindow("#32770"); window; window = NextWindow("#32770", window)) {
                if (std::find(handled.begin(), handled.end(), window) != handled.end())
                    continue;
                HWND body = GetDlgItem(window, 0xFFFF);
                boxes.push_back({WindowText(window), body ? WindowText(body) : "", window});
                handled.push_back(window);
                if (const int button = answer(boxes.back()))
                    PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            }
            if (done())
                return true;
            if (GetTickCount() - start >= limitMs)
                return false;
        }
    }
    // Answers boxes until the program ends; its exit code.
    DWORD RunToEnd(const BoxAnswer& answer = PressOk, DWORD limitMs = RUN_LIMIT_MS)
    {
        EXPECT_TRUE(WaitAnswering(answer, [&] { return Ended(); }, limitMs)) << "the program did not end";
        return End();
    }
    std::string BoxList() const
    {
        std::string list;
        for (const ChildBox& box : boxes)
            list += "[" + box.caption + ": " + box.text + "] ";
        return list;
    }
};

std::string PlanOf(const std::string& user)
{
    return "Login: " + user + "\r\nPlan:\r\n  Plan of " + user + ".\r\n";
}

struct ProgramTest : testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(IsFile(RunFolder::Dist() + "Ombrelane.exe")) << "the program is not built";
        DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
    }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH); }
};

TEST_F(ProgramTest, StartAndGroupSwitchesFingerEveryMemberOnceInQueueOrderOnceTheMonitorFolderCanBeMade)
{
    // Profiles load in name order, those fingered at start first; a scheduled one is not due yet. The unasked use .1.4.
    const struct {
        const char *key, *user, *host;
        uint32_t flags;
        int queued;  // place in the queue, -1: never fingered
    } members[] = {
        {"A status member", "amy", "127.0.1.2", FE_GROUP_STATUS, 1},
        {"B in status and group 2", "ben", "127.0.1.3", FE_GROUP_STATUS | FE_GROUP_2, 2},
        {"C group 1 only", "cat", "127.0.1.4", FE_GROUP_1, -1},
        {"D mail member", "dan", "127.0.1.5", FE_GROUP_MAIL, 3},
        {"E group 2 member", "eve", "127.0.1.6", FE_GROUP_2, 4},
        {"F in no group", "fay", "127.0.1.4", 0, -1},
        {"G at start", "gus", "127.0.1.7", FE_FINGER_AT_START, 0},
        {"H scheduled", "hal", "127.0.1.4", FE_AUTO_FINGER, -1},
    };
    constexpr int count = std::size(members);
    TestServer servers[count];
    TestServer unasked;
    ASSERT_EQ(0, StartTestServer(unasked, "127.0.1.4", 79, {.answer = PlanOf("nobody")}));
    ASSERT_TRUE(PutWord("", "Options", QUIET_OPTIONS | OPT_LOGGING));
    std::map<int, std::string> logged;  // by place in the queue
    for (int i = 0; i < count; ++i) {
        const std::string address = std::string(members[i].user) + "@" + members[i].host;
        const std::string monitor = "0000000" + std::to_string(i) + ".htm";
        ProfileSeed seed = NewProfile(members[i].key, address, monitor, members[i].flags | FE_LOG_OUTPUT);
        seed.interval = 5;
        seed.hasFont = true;
        snprintf(seed.font.lfFaceName, sizeof seed.font.lfFaceName, "Courier New");
        ASSERT_TRUE(SeedProfile(seed));
        if (members[i].queued >= 0) {
            ASSERT_EQ(0, StartTestServer(servers[i], members[i].host, 79, {.answer = PlanOf(members[i].user)}));
            logged[members[i].queued] = "Fingering \"" + address + "\" \n" + PlanOf(members[i].user);
        }
    }
    RunFolder folder;
    // A blocked monitor folder first ends a start with one box before any job, and the profiles are saved as they were.
    const auto kept = AllValues("Profiles\\G at start");
    WriteWholeFile(folder.File("Monitor"), "");
    ProgramRun blocked(folder, "mail exitwhenidle");
    EXPECT_EQ(1u, blocked.RunToEnd());
    const std::string box = "[Monitor Error: Couldn't create the monitor subfolder \"" + folder.File("Monitor") + "\".] ";
    EXPECT_EQ(0, lstrcmpiA(box.c_str(), blocked.BoxList().c_str())) << blocked.BoxList();
    EXPECT_EQ(12u, kept.size());
    EXPECT_TRUE(kept == AllValues("Profiles\\G at start"));
    DeleteFileA(folder.File("Monitor").c_str());
    const time_t before = time(nullptr);
    ProgramRun run(folder, "mail STATUS  Group2 exitwhenidle");
    EXPECT_EQ(0u, run.RunToEnd());
    const time_t after = time(nullptr);

    EXPECT_TRUE(run.boxes.empty()) << run.BoxList();
    std::string expectedLog;
    for (const auto& [place, piece] : logged)
        expectedLog += piece;
    EXPECT_EQ(expectedLog, ReadWholeFile(folder.Log()));
    EXPECT_EQ(0, ServerConnectionCount(unasked));
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(members[i].key);
        const bool asked = members[i].queued >= 0;
        const std::string monitor = folder.File("Monitor\\0000000" + std::to_string(i) + ".htm");
        const std::string below = "Profiles\\" + std::string(members[i].key);
        const int32_t fingered = static_cast<int32_t>(StoredWord(below, "Last Fingered"));
        EXPECT_EQ(asked ? 1 : 0, ServerConnectionCount(servers[i]));
        EXPECT_EQ(asked ? members[i].user + std::string("\r\n") : "", ServerQuery(servers[i], 0));
        EXPECT_EQ(asked, IsFile(monitor));
        EXPECT_EQ(asked ? PlanOf(members[i].user) : "", ReadWholeFile(monitor));
        EXPECT_EQ(asked ? 1u : 0u, StoredWord(below, "NumFingers"));
        EXPECT_TRUE(asked ? fingered >= before && fingered <= after : fingered == 0) << fingered;
    }
}

// The first start welcomes and asks about HTML while an entry fingered at start waits on a server that never answers;
// a second copy started meanwhile says the first runs and ends. Closing asks first (No goes on with the job, Yes stops
// it); the next start asks nothing, nor does its Exit. The job would last the network time limit (a minute): ending
// well before means it was stopped.
TEST_F(ProgramTest, FirstStartWelcomesOnceAndLeavingDuringASilentJobStopsItAndSaves)
{
    const char welcome[] = "Welcome to Ombrelane!\n\nTo get started, create some finger entries\nby clicking on the "
                           "New button, or selecting\nNew Entry from the File menu.\n\nYou might want to try loading "
                           "the samples\nsupplied, using Load Entries from the File\nmenu.";
    const char question[] = "Ombrelane has the ability to detect an HTML plan file and\nview it in a web browser.\n\n"
                            "Would you like to switch this feature on?\n\n(you can switch this feature on and off at "
                            "any time\nby going to the Tools->Options menu)";
    const char leaving[] = "Ombrelane still has jobs left to do.\n\nDo you really want to exit?";
    TestServer server;
    ASSERT_EQ(0, StartTestServer(server, "127.0.1.2", 79, {.answer = "", .neverAnswer = true}));
    ASSERT_TRUE(PutWord("", "Options", (QUIET_OPTIONS & ~OPT_WELCOME_SHOWN) | OPT_LOGGING));
    ASSERT_TRUE(
        SeedProfile(NewProfile("Silent", "sid@127.0.1.2", "00000000.htm", FE_FINGER_AT_START | FE_LOG_OUTPUT)));
    const RECT placed = {120, 90, 720, 570};
    ASSERT_TRUE(PutValue("", "Rect", REG_BINARY, &placed, sizeof placed));
    RunFolder folder;
    const std::string logged = "Fingering \"sid@127.0.1.2\" \n** Finger cancelled **\n\n";
    for (const int turn : {0, 1}) {
        SCOPED_TRACE(turn ? "second start, Exit" : "first start, close");
        ProgramRun run(folder, "");
        std::string paneDuringWelcome;
        int questions = 0;
        auto answer = [&](const ChildBox& box) {
            // Another process's control tells its text only when asked by message.
            if (box.text == welcome) {
                char text[1 << 16] = "";
                HWND pane = FindWindowExA(run.MainWindow(), nullptr, "RichEdit", nullptr);
                SendMessageTimeoutA(pane, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                    5000, nullptr);
                paneDuringWelcome = text;
            }
            return box.text == question ? IDYES : box.text != leaving ? IDOK : ++questions == 1 ? IDNO : IDYES;
        };
        ASSERT_TRUE(run.WaitAnswering(answer, [&] {
            return ServerQuery(server, turn) == "sid\r\n" && run.boxes.size() == (turn ? 0u : 2u) &&
                   run.handled.empty() && run.MainWindow() != nullptr;
        })) << run.BoxList();
        HWND window = run.MainWindow();
        RECT shown;
        ASSERT_TRUE(GetWindowRect(window, &shown));
        EXPECT_EQ(0, memcmp(&placed, &shown, sizeof shown)) << "the window is put back where it was";
        if (turn == 0) {
            RunFolder other;
            ProgramRun second(other, "mail exitwhenidle");
            EXPECT_EQ(1u, second.RunToEnd());
            EXPECT_EQ("[Ombrelane: Ombrelane is already running.\n] ", second.BoxList());
            EXPECT_FALSE(IsFolder(other.File("Monitor")));
            EXPECT_NE(std::string::npos, paneDuringWelcome.find("Getting started")) << "the welcome document is shown";
            PostMessageA(window, WM_CLOSE, 0, 0);
            ASSERT_TRUE(run.WaitAnswering(answer, [&] { return questions == 1 && run.handled.empty(); }));
            EXPECT_FALSE(run.WaitAnswering(answer, [&] { return run.Ended(); }, 2000));
            EXPECT_EQ(0, ServerClosedCount(server));
        }
        PostMessageA(window, turn ? WM_COMMAND : WM_CLOSE, turn ? MAKEWPARAM(IDM_EXIT, 0) : 0, 0);
        EXPECT_EQ(0u, run.RunToEnd(answer, 30000));
        EXPECT_EQ(turn ? 0 : 2, questions) << run.BoxList();
        EXPECT_EQ(turn ? 0u : 4u, run.boxes.size()) << run.BoxList();
        EXPECT_EQ(QUIET_OPTIONS | OPT_LOGGING | OPT_AUTO_HTML, StoredWord("", "Options"));
        EXPECT_EQ(0, lstrcmpiA(folder.Log().c_str(), ReadValue("", "Log File").Text().c_str()));
        EXPECT_EQ(turn ? logged + logged : logged, ReadWholeFile(folder.Log()));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&shown), sizeof shown), ReadValue("", "Rect").bytes);
        EXPECT_EQ(turn + 1u, StoredWord("Profiles\\Silent", "NumFingers"));
    }
}

}
