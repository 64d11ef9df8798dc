// The built program as a whole: Ombrelane.exe is copied into a fresh folder,
// started as its own process with a prepared registry, driven through its
// main window and message boxes, and judged by its exit code, the queries its
// finger servers received, its log, its monitor files and the registry it
// leaves behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/registry.h"
#include "entries/settings.h"
#include "resources/resource.h"
#include "support/program_fixture.h"
#include "support/test_servers.h"

namespace {

constexpr int FINGER_PORT = 79;
// A run that has not ended after this long is stuck; it is ended and fails.
constexpr DWORD RUN_LIMIT_MS = 60000;
// How often the waits look at the program's windows and process.
constexpr DWORD POLL_MS = 20;
// The options of a user who has seen the welcome: no first-run boxes.
constexpr uint32_t QUIET_OPTIONS = OPT_REMEMBER_POSITION | OPT_NETWORK | OPT_WELCOME_SHOWN;
constexpr char MAIN_CLASS[] = "Ombrelane";
constexpr char BOX_CLASS[] = "#32770";
// The static control that holds a message box's text.
constexpr int BOX_TEXT_ID = 0xFFFF;

// ---------------------------------------------------------------------------
// Registry below the program key

std::string KeyPath(const std::string& below)
{
    return below.empty() ? std::string(PROGRAM_KEY_PATH) : std::string(PROGRAM_KEY_PATH) + "\\" + below;
}

std::string ProfilePath(const std::string& keyName)
{
    return "Profiles\\" + keyName;
}

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

void ResetProgramKey()
{
    DeleteTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
}

void Put(const std::string& below, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(below).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
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

struct RawValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;

    bool operator==(const RawValue& other) const
    {
        return present == other.present && type == other.type && bytes == other.bytes;
    }
};

RawValue ReadValue(const std::string& below, const char* name)
{
    RawValue value;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(below).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    char data[4096];
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
        value.present = true;
        value.bytes.assign(data, size);
    }
    RegCloseKey(key);
    return value;
}

// A 4-byte number; fails the test when the value is missing or of another size.
uint32_t ReadWord(const std::string& below, const char* name)
{
    RawValue value = ReadValue(below, name);
    EXPECT_TRUE(value.present) << below << " " << name;
    EXPECT_EQ(4u, value.bytes.size()) << below << " " << name;
    uint32_t word = 0;
    if (value.bytes.size() == 4)
        memcpy(&word, value.bytes.data(), 4);
    return word;
}

// A text without its terminating NUL.
std::string ReadText(const std::string& below, const char* name)
{
    RawValue value = ReadValue(below, name);
    EXPECT_TRUE(value.present) << below << " " << name;
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type) << below << " " << name;
    return std::string(value.bytes.c_str());
}

std::vector<std::string> ProfileKeyNames()
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PROFILES_KEY_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name);
    }
    RegCloseKey(key);
    return names;
}

// Every value of a key, by name.
std::map<std::string, RawValue> AllValues(const std::string& below)
{
    std::map<std::string, RawValue> values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(below).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD nameLength = sizeof name;
        char data[4096];
        DWORD size = sizeof data;
        RawValue value;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, &value.type, reinterpret_cast<BYTE*>(data),
                          &size) != ERROR_SUCCESS)
            break;
        value.present = true;
        value.bytes.assign(data, size);
        values[name] = value;
    }
    RegCloseKey(key);
    return values;
}

void SeedOptions(uint32_t options)
{
    PutWord("", "Options", options);
}

// One stored entry with the values a new entry has, under its own key name.
struct ProfileSeed {
    std::string key;
    std::string address;
    std::string monitorFile;
    uint32_t flags = 0;
};

void SeedProfile(const ProfileSeed& seed)
{
    const std::string below = ProfilePath(seed.key);
    PutText(below, "Address", seed.address);
    PutText(below, "Monitor Log", seed.monitorFile);
    PutWord(below, "Flags", seed.flags);
    PutText(below, "Icon Filename", "");
    PutWord(below, "Icon Index", 0);
    PutWord(below, "NumFingers", 0);
    PutWord(below, "Colour", 0);
    PutWord(below, "Points", 120);
    PutWord(below, "Period", PERIOD_MINUTES);
    PutWord(below, "Interval", 0);
    PutWord(below, "Last Fingered", 0);
}

// A font every value of which differs from the defaults.
LOGFONTA SampleFont()
{
    LOGFONTA font = {};
    font.lfHeight = -13;
    font.lfWeight = FW_BOLD;
    font.lfItalic = 1;
    font.lfCharSet = ANSI_CHARSET;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    snprintf(font.lfFaceName, sizeof font.lfFaceName, "Courier New");
    return font;
}

// Every profile value, as a save writes them.
void SeedFullProfile(const std::string& key, const std::string& address, const std::string& monitorFile,
                     uint32_t flags, uint32_t fingerCount, int32_t lastFingered)
{
    const std::string below = ProfilePath(key);
    PutText(below, "Address", address);
    PutText(below, "Monitor Log", monitorFile);
    PutWord(below, "Flags", flags);
    PutText(below, "Icon Filename", "C:\\windows\\system32\\shell32.dll");
    PutWord(below, "Icon Index", 7);
    PutWord(below, "NumFingers", fingerCount);
    PutWord(below, "Colour", 0x00336699);
    PutWord(below, "Points", 100);
    const LOGFONTA font = SampleFont();
    Put(below, "Font", REG_BINARY, &font, sizeof font);
    PutWord(below, "Period", PERIOD_HOURS);
    PutWord(below, "Interval", 3);
    PutWord(below, "Last Fingered", static_cast<uint32_t>(lastFingered));
}

// ---------------------------------------------------------------------------
// Files

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsPlainFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DeleteFolderTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteFolderTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// <build>\dist\, found from this test's place in <build>\tests\.
std::string DistFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    for (int level = 0; level < 2; ++level) {
        const size_t slash = folder.find_last_of("\\/");
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    }
    return folder + "\\dist\\";
}

// A fresh folder holding a copy of the program and its welcome document, so
// its Monitor folder and log land there. Deleted with everything in it.
struct RunFolder {
    std::string path;

    RunFolder()
    {
        static int serial = 0;
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%sombrelane-program-%lu-%d", temp, GetCurrentProcessId(), ++serial);
        path = name;
        DeleteFolderTree(path);
        CreateDirectoryA(path.c_str(), nullptr);
        const std::string dist = DistFolder();
        CopyFileA((dist + "Ombrelane.exe").c_str(), Exe().c_str(), FALSE);
        CopyFileA((dist + "Welcome.rtf").c_str(), File("Welcome.rtf").c_str(), FALSE);
    }
    ~RunFolder() { DeleteFolderTree(path); }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    std::string Exe() const { return File("Ombrelane.exe"); }
    std::string File(const std::string& name) const { return path + "\\" + name; }
    std::string Log() const { return File("Ombrelane Log.txt"); }
    std::string MonitorFile(const std::string& name) const { return path + "\\Monitor\\" + name; }
};

// ---------------------------------------------------------------------------
// The program's process, its windows and its message boxes

struct ChildBox {
    HWND window = nullptr;
    std::string caption;
    std::string text;
};

// The button to press in a box (its WM_COMMAND id), or 0 to leave it open.
using BoxAnswer = std::function<int(const ChildBox&)>;

int PressOk(const ChildBox&)
{
    return IDOK;
}

struct WindowSearch {
    DWORD processId;
    const char* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window))
        return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, search->className) == 0)
        search->found.push_back(window);
    return TRUE;
}

// Visible top-level windows of the process with the given class.
std::vector<HWND> TopLevelWindows(DWORD processId, const char* className)
{
    WindowSearch search = {processId, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string WindowText(HWND window)
{
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The text of the program's output pane, asked across the process boundary.
std::string PaneTextOf(HWND mainWindow)
{
    HWND pane = FindWindowExA(mainWindow, nullptr, "RichEdit", nullptr);
    if (!pane)
        return {};
    std::vector<char> text(1 << 16, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(pane, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &copied);
    return std::string(text.data());
}

// One started copy of the program. Whatever still runs when it goes out of
// scope is ended, so a failed test never leaves a copy behind for the next.
struct ProgramRun {
    PROCESS_INFORMATION process = {};
    std::vector<ChildBox> boxes;
    // Boxes already answered or passed over, until they are gone.
    std::vector<HWND> handled;

    ProgramRun() = default;
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;
    ~ProgramRun()
    {
        if (!process.hProcess)
            return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 10000);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }

    bool Ended() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }

    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    HWND MainWindow() const
    {
        std::vector<HWND> windows = TopLevelWindows(process.dwProcessId, MAIN_CLASS);
        return windows.empty() ? nullptr : windows.front();
    }
};

bool StartProgram(ProgramRun& run, const RunFolder& folder, const std::string& switches)
{
    std::string commandLine = "\"" + folder.Exe() + "\"";
    if (!switches.empty())
        commandLine += " " + switches;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(folder.Exe().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.path.c_str(), &startup, &run.process) != 0;
}

// Records every new message box of the program and presses what the answer says.
void AnswerBoxes(ProgramRun& run, const BoxAnswer& answer)
{
    std::vector<HWND> stillThere;
    for (HWND window : run.handled)
        if (IsWindow(window))
            stillThere.push_back(window);
    run.handled = stillThere;
    for (HWND window : TopLevelWindows(run.process.dwProcessId, BOX_CLASS)) {
        bool known = false;
        for (HWND done : run.handled)
            known = known || done == window;
        if (known)
            continue;
        ChildBox box;
        box.window = window;
        box.caption = WindowText(window);
        if (HWND body = GetDlgItem(window, BOX_TEXT_ID))
            box.text = WindowText(body);
        run.boxes.push_back(box);
        run.handled.push_back(window);
        if (const int button = answer(box))
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    }
}

// Answers boxes until done() holds or the time is up; returns the last done().
bool WaitAnswering(ProgramRun& run, const BoxAnswer& answer, const std::function<bool()>& done, DWORD limitMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        AnswerBoxes(run, answer);
        if (done())
            return true;
        if (GetTickCount() - start >= limitMs)
            return false;
        Sleep(POLL_MS);
    }
}

// Answers boxes until the program ends and returns its exit code. A program
// that does not end within the limit fails the test and is ended.
DWORD RunToEnd(ProgramRun& run, const BoxAnswer& answer, DWORD limitMs = RUN_LIMIT_MS)
{
    const bool ended = WaitAnswering(run, answer, [&] { return run.Ended(); }, limitMs);
    EXPECT_TRUE(ended) << "the program did not end; boxes seen: " << run.boxes.size();
    if (!ended) {
        TerminateProcess(run.process.hProcess, 99);
        WaitForSingleObject(run.process.hProcess, 10000);
    }
    return run.ExitCode();
}

HWND WaitForMainWindow(ProgramRun& run, const BoxAnswer& answer)
{
    HWND window = nullptr;
    WaitAnswering(run, answer, [&] { return (window = run.MainWindow()) != nullptr || run.Ended(); },
                  RUN_LIMIT_MS);
    return window;
}

std::string BoxList(const std::vector<ChildBox>& boxes)
{
    std::string list;
    for (const ChildBox& box : boxes)
        list += "[" + box.caption + ": " + box.text + "] ";
    return list;
}

// ---------------------------------------------------------------------------
// Finger servers

std::string PlanOf(const std::string& user)
{
    return "Login: " + user + "\r\nPlan:\r\n  Plan of " + user + ".\r\n";
}

void StartPlanServer(TestServer& server, const char* host, const std::string& user)
{
    ServerBehaviour behaviour;
    behaviour.answer = PlanOf(user);
    ASSERT_EQ(0, StartTestServer(server, host, FINGER_PORT, behaviour)) << host;
}

void StartSilentServer(TestServer& server, const char* host)
{
    ServerBehaviour behaviour;
    behaviour.neverAnswer = true;
    ASSERT_EQ(0, StartTestServer(server, host, FINGER_PORT, behaviour)) << host;
}

std::string FingerHeader(const std::string& address)
{
    return "Fingering \"" + address + "\" \n";
}

const char CANCELLED_LINE[] = "** Finger cancelled **\n\n";

class ProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(IsPlainFile(DistFolder() + "Ombrelane.exe")) << "the program is not built: " << DistFolder();
        ResetProgramKey();
    }
    void TearDown() override { ResetProgramKey(); }
};

// ---------------------------------------------------------------------------
// Command line

TEST_F(ProgramTest, GroupSwitchesFingerEveryMemberOnceInListOrder)
{
    // Profiles are listed in the order the registry gives them, by name.
    struct Member {
        const char* key;
        const char* user;
        const char* host;
        uint32_t groups;
        bool asked;
    };
    const Member members[] = {
        {"A status member", "amy", "127.0.0.2", FE_GROUP_STATUS, true},
        {"B in status and group 2", "ben", "127.0.0.3", FE_GROUP_STATUS | FE_GROUP_2, true},
        {"C group 1 only", "cat", "127.0.0.4", FE_GROUP_1, false},
        {"D mail member", "dan", "127.0.0.5", FE_GROUP_MAIL, true},
        {"E group 2 member", "eve", "127.0.0.6", FE_GROUP_2, true},
        {"F in no group", "fay", "127.0.0.7", 0, false},
    };
    constexpr int count = sizeof members / sizeof members[0];
    TestServer servers[count];
    SeedOptions(QUIET_OPTIONS | OPT_LOGGING);
    std::string expectedLog;
    for (int i = 0; i < count; ++i) {
        const std::string address = std::string(members[i].user) + "@" + members[i].host;
        StartPlanServer(servers[i], members[i].host, members[i].user);
        char monitor[16];
        snprintf(monitor, sizeof monitor, "%08d.htm", i);
        SeedProfile({members[i].key, address, monitor, members[i].groups | FE_LOG_OUTPUT});
        if (members[i].asked)
            expectedLog += FingerHeader(address) + PlanOf(members[i].user);
    }
    RunFolder folder;
    ProgramRun run;
    const time_t before = time(nullptr);
    ASSERT_TRUE(StartProgram(run, folder, "mail STATUS  Group2 exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(run, PressOk));
    const time_t after = time(nullptr);

    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);
    EXPECT_EQ(expectedLog, ReadWholeFile(folder.Log()));
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(members[i].key);
        char monitor[16];
        snprintf(monitor, sizeof monitor, "%08d.htm", i);
        const std::string below = ProfilePath(members[i].key);
        if (members[i].asked) {
            ASSERT_EQ(1, ServerConnectionCount(servers[i]));
            EXPECT_EQ(std::string(members[i].user) + "\r\n", ServerQuery(servers[i], 0));
            EXPECT_EQ(PlanOf(members[i].user), ReadWholeFile(folder.MonitorFile(monitor)));
            EXPECT_EQ(1u, ReadWord(below, "NumFingers"));
            const int32_t fingered = static_cast<int32_t>(ReadWord(below, "Last Fingered"));
            EXPECT_GE(fingered, static_cast<int32_t>(before));
            EXPECT_LE(fingered, static_cast<int32_t>(after));
        } else {
            EXPECT_EQ(0, ServerConnectionCount(servers[i]));
            EXPECT_FALSE(IsPlainFile(folder.MonitorFile(monitor)));
            EXPECT_EQ(0u, ReadWord(below, "NumFingers"));
            EXPECT_EQ(0u, ReadWord(below, "Last Fingered"));
        }
    }
}

TEST_F(ProgramTest, ExitWhenIdleWithoutWorkEndsAtOnceAndSavesSettings)
{
    SeedOptions(QUIET_OPTIONS);
    RunFolder folder;
    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, "exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(run, PressOk));
    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);

    // The whole settings record was written at exit.
    EXPECT_EQ(QUIET_OPTIONS, ReadWord("", "Options"));
    EXPECT_EQ(DEFAULT_ALLOC_SIZE, ReadWord("", "MaxAllocSize"));
    EXPECT_EQ(16u, ReadValue("", "Rect").bytes.size());
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), ReadValue("", "Rect").type);
    EXPECT_EQ(4u, ReadWord("", "Display Split"));
    EXPECT_EQ(1u, ReadWord("", "LV Style"));
    EXPECT_EQ(0u, ReadWord("", "Last Column Sorted"));
    EXPECT_FALSE(ReadText("", "WHOIS Server").empty());
    EXPECT_EQ(0, lstrcmpiA(folder.Log().c_str(), ReadText("", "Log File").c_str()))
        << ReadText("", "Log File");
    EXPECT_EQ("Finger Group #2", ReadText("", "Batch2Name"));
    EXPECT_TRUE(ReadValue("", "Col5cx").present);
    EXPECT_TRUE(ProfileKeyNames().empty());
    EXPECT_TRUE(IsFolder(folder.File("Monitor")));
    EXPECT_FALSE(IsPlainFile(folder.Log()));
}

TEST_F(ProgramTest, UnknownSwitchIsReportedAndNoJobRuns)
{
    SeedOptions(QUIET_OPTIONS);
    TestServer server;
    StartPlanServer(server, "127.0.0.2", "mia");
    SeedProfile({"Mail member", "mia@127.0.0.2", "00000000.htm", FE_GROUP_MAIL});
    RunFolder folder;
    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, "mail /mail exitwhenidle"));
    EXPECT_EQ(1u, RunToEnd(run, PressOk));

    ASSERT_EQ(1u, run.boxes.size()) << BoxList(run.boxes);
    EXPECT_EQ("Ombrelane Bad Switch", run.boxes[0].caption);
    EXPECT_EQ("Ombrelane doesn't know what \"/mail\" means.", run.boxes[0].text);
    EXPECT_EQ(0, ServerConnectionCount(server));
    EXPECT_FALSE(IsPlainFile(folder.MonitorFile("00000000.htm")));
}

TEST_F(ProgramTest, OverlongWordIsReportedSafely)
{
    SeedOptions(QUIET_OPTIONS);
    std::string word;
    for (int i = 0; word.size() < 300; ++i)
        word += static_cast<char>('a' + i % 26);
    RunFolder folder;
    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, "exitwhenidle " + word));
    EXPECT_EQ(1u, RunToEnd(run, PressOk));

    ASSERT_EQ(1u, run.boxes.size()) << BoxList(run.boxes);
    EXPECT_EQ("Ombrelane Bad Switch", run.boxes[0].caption);
    const std::string& text = run.boxes[0].text;
    const std::string head = "Ombrelane doesn't know what \"";
    const std::string tail = "\" means.";
    ASSERT_GT(text.size(), head.size() + tail.size());
    ASSERT_EQ(head, text.substr(0, head.size()));
    ASSERT_EQ(tail, text.substr(text.size() - tail.size()));
    // The word is shown whole or cut, never with anything but its own start.
    std::string shown = text.substr(head.size(), text.size() - head.size() - tail.size());
    if (shown.size() > 3 && shown.compare(shown.size() - 3, 3, "...") == 0)
        shown.resize(shown.size() - 3);
    EXPECT_GE(shown.size(), 200u);
    EXPECT_EQ(word.substr(0, shown.size()), shown);
}

// ---------------------------------------------------------------------------
// Start-up and shutdown

TEST_F(ProgramTest, SecondCopyIsRefusedWhileTheFirstRuns)
{
    SeedOptions(QUIET_OPTIONS);
    RunFolder firstFolder;
    RunFolder secondFolder;
    ProgramRun first;
    ASSERT_TRUE(StartProgram(first, firstFolder, ""));
    HWND firstWindow = WaitForMainWindow(first, PressOk);
    ASSERT_NE(nullptr, firstWindow);

    ProgramRun second;
    ASSERT_TRUE(StartProgram(second, secondFolder, "exitwhenidle"));
    EXPECT_EQ(1u, RunToEnd(second, PressOk));
    ASSERT_EQ(1u, second.boxes.size()) << BoxList(second.boxes);
    EXPECT_EQ("Ombrelane", second.boxes[0].caption);
    EXPECT_EQ("Ombrelane is already running.\n", second.boxes[0].text);
    // The refusal comes before the second copy sets anything up.
    EXPECT_FALSE(IsFolder(secondFolder.File("Monitor")));

    EXPECT_FALSE(first.Ended());
    EXPECT_TRUE(IsWindow(firstWindow));
    EXPECT_TRUE(first.boxes.empty()) << BoxList(first.boxes);

    // With nothing queued, closing asks nothing and ends the first copy.
    PostMessageA(firstWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, RunToEnd(first, PressOk));
    EXPECT_TRUE(first.boxes.empty()) << BoxList(first.boxes);
}

const char WELCOME_TEXT[] =
    "Welcome to Ombrelane!\n\nTo get started, create some finger entries\nby clicking on the New button, or "
    "selecting\nNew Entry from the File menu.\n\nYou might want to try loading the samples\nsupplied, using Load "
    "Entries from the File\nmenu.";
const char HTML_QUESTION[] =
    "Ombrelane has the ability to detect an HTML plan file and\nview it in a web browser.\n\nWould you like to "
    "switch this feature on?\n\n(you can switch this feature on and off at any time\nby going to the "
    "Tools->Options menu)";

// A first start (no settings stored) answering the HTML question with the
// given button; returns the options stored at exit.
uint32_t RunFirstStart(int htmlAnswer)
{
    RunFolder folder;
    ProgramRun run;
    std::string paneDuringWelcome;
    auto answer = [&](const ChildBox& box) {
        if (box.caption != "Welcome to Ombrelane")
            return IDOK;
        if (box.text == HTML_QUESTION)
            return htmlAnswer;
        paneDuringWelcome = PaneTextOf(run.MainWindow());
        return IDOK;
    };
    EXPECT_TRUE(StartProgram(run, folder, "exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(run, answer));
    EXPECT_EQ(2u, run.boxes.size()) << BoxList(run.boxes);
    if (run.boxes.size() == 2) {
        EXPECT_EQ("Welcome to Ombrelane", run.boxes[0].caption);
        EXPECT_EQ(WELCOME_TEXT, run.boxes[0].text);
        EXPECT_EQ("Welcome to Ombrelane", run.boxes[1].caption);
        EXPECT_EQ(HTML_QUESTION, run.boxes[1].text);
    }
    // The welcome document is in the output pane behind the boxes.
    EXPECT_NE(std::string::npos, paneDuringWelcome.find("Getting started")) << paneDuringWelcome;
    const uint32_t options = ReadWord("", "Options");

    // The welcome comes once only.
    ProgramRun again;
    EXPECT_TRUE(StartProgram(again, folder, "exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(again, PressOk));
    EXPECT_TRUE(again.boxes.empty()) << BoxList(again.boxes);
    return options;
}

TEST_F(ProgramTest, FirstStartWelcomeYesSwitchesHtmlDetectionOn)
{
    EXPECT_EQ(static_cast<uint32_t>(OPT_REMEMBER_POSITION | OPT_NETWORK | OPT_WELCOME_SHOWN | OPT_AUTO_HTML),
              RunFirstStart(IDYES));
}

TEST_F(ProgramTest, FirstStartWelcomeNoOnlyMarksTheWelcomeShown)
{
    EXPECT_EQ(static_cast<uint32_t>(OPT_REMEMBER_POSITION | OPT_NETWORK | OPT_WELCOME_SHOWN), RunFirstStart(IDNO));
}

const char CLOSE_QUESTION[] = "Ombrelane still has jobs left to do.\n\nDo you really want to exit?";

TEST_F(ProgramTest, ClosingWithJobsLeftAsksAndEndsAfterTheJob)
{
    SeedOptions(QUIET_OPTIONS | OPT_LOGGING);
    TestServer server;
    StartSilentServer(server, "127.0.0.2");
    SeedProfile({"Silent", "sid@127.0.0.2", "00000000.htm", FE_FINGER_AT_START | FE_LOG_OUTPUT});
    RunFolder folder;
    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, ""));
    HWND window = WaitForMainWindow(run, PressOk);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitAnswering(run, PressOk, [&] { return ServerQuery(server, 0) == "sid\r\n"; }, RUN_LIMIT_MS));

    int closeQuestions = 0;
    auto answer = [&](const ChildBox& box) {
        if (box.caption != "Close Ombrelane")
            return IDOK;
        return ++closeQuestions == 1 ? IDNO : IDYES;
    };
    // No: the program goes on with its job.
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitAnswering(run, answer, [&] { return closeQuestions == 1 && run.handled.empty(); },
                              RUN_LIMIT_MS));
    EXPECT_FALSE(WaitAnswering(run, answer, [&] { return run.Ended(); }, 2000));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(0, ServerClosedCount(server));

    // Yes: the job is stopped, then the program ends and saves.
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, RunToEnd(run, answer));
    ASSERT_EQ(2u, run.boxes.size()) << BoxList(run.boxes);
    for (const ChildBox& box : run.boxes) {
        EXPECT_EQ("Close Ombrelane", box.caption);
        EXPECT_EQ(CLOSE_QUESTION, box.text);
    }
    EXPECT_EQ(FingerHeader("sid@127.0.0.2") + CANCELLED_LINE, ReadWholeFile(folder.Log()));
    EXPECT_EQ(1u, ReadWord(ProfilePath("Silent"), "NumFingers"));
}

TEST_F(ProgramTest, ExitCommandWhileAJobWaitsEndsCleanly)
{
    SeedOptions(QUIET_OPTIONS | OPT_LOGGING);
    TestServer server;
    StartSilentServer(server, "127.0.0.3");
    SeedProfile({"Silent", "sue@127.0.0.3", "00000000.htm", FE_FINGER_AT_START | FE_LOG_OUTPUT});
    RunFolder folder;
    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, ""));
    HWND window = WaitForMainWindow(run, PressOk);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitAnswering(run, PressOk, [&] { return ServerQuery(server, 0) == "sue\r\n"; }, RUN_LIMIT_MS));
    RECT shown;
    ASSERT_TRUE(GetWindowRect(window, &shown));

    // Exit asks nothing. The silent server would hold the job for the whole
    // network time limit (a minute): ending well before that means the job
    // was stopped.
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(0u, RunToEnd(run, PressOk, 30000));
    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);

    EXPECT_EQ(FingerHeader("sue@127.0.0.3") + CANCELLED_LINE, ReadWholeFile(folder.Log()));
    const RawValue rect = ReadValue("", "Rect");
    ASSERT_EQ(sizeof(RECT), rect.bytes.size());
    RECT saved;
    memcpy(&saved, rect.bytes.data(), sizeof saved);
    EXPECT_EQ(shown.left, saved.left);
    EXPECT_EQ(shown.top, saved.top);
    EXPECT_EQ(shown.right, saved.right);
    EXPECT_EQ(shown.bottom, saved.bottom);
    EXPECT_EQ("sue@127.0.0.3", ReadText(ProfilePath("Silent"), "Address"));
    EXPECT_EQ(1u, ReadWord(ProfilePath("Silent"), "NumFingers"));
}

TEST_F(ProgramTest, MonitorFolderThatCannotBeMadeEndsStartUpAndKeepsProfiles)
{
    SeedOptions(QUIET_OPTIONS);
    TestServer server;
    StartPlanServer(server, "127.0.0.4", "kim");
    SeedFullProfile("Kept", "kim@127.0.0.4", "00000003.htm", FE_FINGER_AT_START, 5, 12345);
    SeedFullProfile("Kept too", "kai@127.0.0.4", "00000004.htm", FE_GROUP_MAIL, 9, 67890);
    const auto keptBefore = AllValues(ProfilePath("Kept"));
    const auto keptTooBefore = AllValues(ProfilePath("Kept too"));
    RunFolder folder;
    // A plain file takes the place of the Monitor folder.
    HANDLE blocker = CreateFileA(folder.File("Monitor").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, blocker);
    CloseHandle(blocker);

    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, "mail exitwhenidle"));
    EXPECT_EQ(1u, RunToEnd(run, PressOk));
    ASSERT_EQ(1u, run.boxes.size()) << BoxList(run.boxes);
    EXPECT_EQ("Monitor Error", run.boxes[0].caption);
    const std::string expected = "Couldn't create the monitor subfolder \"" + folder.File("Monitor") + "\".";
    EXPECT_EQ(0, lstrcmpiA(expected.c_str(), run.boxes[0].text.c_str())) << run.boxes[0].text;

    EXPECT_EQ(0, ServerConnectionCount(server));
    EXPECT_TRUE(IsPlainFile(folder.File("Monitor")));
    EXPECT_EQ(2u, ProfileKeyNames().size());
    EXPECT_EQ(12u, keptBefore.size());
    EXPECT_TRUE(keptBefore == AllValues(ProfilePath("Kept")));
    EXPECT_TRUE(keptTooBefore == AllValues(ProfilePath("Kept too")));
}

TEST_F(ProgramTest, EntryMarkedForStartIsFingeredAtStart)
{
    SeedOptions(QUIET_OPTIONS);
    TestServer atStart;
    TestServer other;
    StartPlanServer(atStart, "127.0.0.5", "sam");
    StartPlanServer(other, "127.0.0.6", "tom");
    SeedProfile({"At start", "sam@127.0.0.5", "00000000.htm", FE_FINGER_AT_START});
    SeedProfile({"Not at start", "tom@127.0.0.6", "00000001.htm", FE_AUTO_FINGER | FE_GROUP_MAIL});
    PutWord(ProfilePath("Not at start"), "Interval", 5);
    RunFolder folder;
    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, "exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(run, PressOk));
    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);

    ASSERT_EQ(1, ServerConnectionCount(atStart));
    EXPECT_EQ("sam\r\n", ServerQuery(atStart, 0));
    EXPECT_EQ(PlanOf("sam"), ReadWholeFile(folder.MonitorFile("00000000.htm")));
    EXPECT_EQ(1u, ReadWord(ProfilePath("At start"), "NumFingers"));
    // A scheduled entry is first due one interval after the start.
    EXPECT_EQ(0, ServerConnectionCount(other));
    EXPECT_EQ(0u, ReadWord(ProfilePath("Not at start"), "NumFingers"));
}

// Profiles by the description they store: the "Description" value where a
// profile has one, otherwise its key name; each with its address.
std::map<std::string, std::string> StoredDescriptions()
{
    std::map<std::string, std::string> stored;
    for (const std::string& key : ProfileKeyNames()) {
        const RawValue description = ReadValue(ProfilePath(key), PROFILE_DESCRIPTION_VALUE);
        const std::string name = description.present ? std::string(description.bytes.c_str()) : key;
        stored[name] = ReadText(ProfilePath(key), "Address");
    }
    return stored;
}

TEST_F(ProgramTest, DescriptionsDifferingOnlyInCaseBothSurvive)
{
    SeedOptions(QUIET_OPTIONS);
    TestServer first;
    TestServer second;
    StartPlanServer(first, "127.0.0.7", "una");
    StartPlanServer(second, "127.0.0.8", "uma");
    // Key names ignore case: the second entry's profile is a numbered copy
    // of its name that carries its own spelling.
    SeedProfile({"Board", "una@127.0.0.7", "00000000.htm", FE_FINGER_AT_START});
    SeedProfile({"BOARD (2)", "uma@127.0.0.8", "00000001.htm", FE_FINGER_AT_START});
    PutText(ProfilePath("BOARD (2)"), PROFILE_DESCRIPTION_VALUE, "BOARD");
    RunFolder folder;
    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, "exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(run, PressOk));
    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);

    // Both were separate entries during the run...
    EXPECT_EQ(1, ServerConnectionCount(first));
    EXPECT_EQ(1, ServerConnectionCount(second));
    EXPECT_EQ(PlanOf("una"), ReadWholeFile(folder.MonitorFile("00000000.htm")));
    EXPECT_EQ(PlanOf("uma"), ReadWholeFile(folder.MonitorFile("00000001.htm")));
    // ...and both are stored again, each with its own spelling and values.
    const std::map<std::string, std::string> expected = {{"BOARD", "uma@127.0.0.8"}, {"Board", "una@127.0.0.7"}};
    EXPECT_EQ(expected, StoredDescriptions());
    for (const std::string& key : ProfileKeyNames())
        EXPECT_EQ(1u, ReadWord(ProfilePath(key), "NumFingers")) << key;

    // A second run reads them back as two entries again.
    ProgramRun again;
    ASSERT_TRUE(StartProgram(again, folder, "exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(again, PressOk));
    EXPECT_EQ(2, ServerConnectionCount(first));
    EXPECT_EQ(2, ServerConnectionCount(second));
    EXPECT_EQ(expected, StoredDescriptions());
}

TEST_F(ProgramTest, SettingsAndEntryValuesRoundTrip)
{
    const uint32_t options = QUIET_OPTIONS | OPT_HIDE_WHEN_MINIMISED | OptSortToggle(1) | OptSortToggle(3);
    SeedOptions(options);
    PutWord("", "MaxAllocSize", 131072);
    const RECT rect = {120, 90, 720, 570};
    Put("", "Rect", REG_BINARY, &rect, sizeof rect);
    PutWord("", "LV Style", 2);
    PutWord("", "Display Split", 7);
    PutWord("", "Last Column Sorted", 1);
    const uint32_t widths[LIST_COLUMNS] = {150, 140, 40, 110, 70};
    const char* const widthNames[LIST_COLUMNS] = {"Col1cx", "Col2cx", "Col3cx", "Col4cx", "Col5cx"};
    for (int c = 0; c < LIST_COLUMNS; ++c)
        PutWord("", widthNames[c], widths[c]);
    const int32_t toolbar[3] = {IDM_NEW_ENTRY, 0, IDM_FINGER};
    PutWord("", "NumButtons", 3);
    Put("", "Toolbar", REG_BINARY, toolbar, sizeof toolbar);
    const std::map<std::string, std::string> texts = {
        {"Batch1Name", "Night shift"},
        {"Batch2Name", "Servers"},
        {"Batch3Name", "Friends"},
        {"WHOIS Server", "whois.example.test"},
        {"User Browser", "C:\\browsers\\browse.exe"},
        {"Output Path", "C:\\saved\\output.rtf"},
        {"Finger Entries Path", "C:\\saved\\entries.oen"},
        {"Log File", "C:\\logs\\answers.txt"},
    };
    for (const auto& [name, text] : texts)
        PutText("", name.c_str(), text);
    TestServer server;
    StartPlanServer(server, "127.0.0.2", "rob");
    SeedFullProfile("Round trip", "rob@127.0.0.2", "00000006.htm", FE_FINGER_AT_START | FE_GROUP_3, 41, 1000);
    const auto profileBefore = AllValues(ProfilePath("Round trip"));

    RunFolder folder;
    ProgramRun run;
    const time_t before = time(nullptr);
    ASSERT_TRUE(StartProgram(run, folder, "exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(run, PressOk));
    const time_t after = time(nullptr);
    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);
    EXPECT_EQ(1, ServerConnectionCount(server));

    EXPECT_EQ(options, ReadWord("", "Options"));
    EXPECT_EQ(131072u, ReadWord("", "MaxAllocSize"));
    const RawValue savedRect = ReadValue("", "Rect");
    ASSERT_EQ(sizeof rect, savedRect.bytes.size());
    EXPECT_EQ(0, memcmp(&rect, savedRect.bytes.data(), sizeof rect)) << "the window was not put back where it was";
    EXPECT_EQ(2u, ReadWord("", "LV Style"));
    EXPECT_EQ(7u, ReadWord("", "Display Split"));
    EXPECT_EQ(1u, ReadWord("", "Last Column Sorted"));
    for (int c = 0; c < LIST_COLUMNS; ++c)
        EXPECT_EQ(widths[c], ReadWord("", widthNames[c])) << widthNames[c];
    EXPECT_EQ(3u, ReadWord("", "NumButtons"));
    const RawValue savedToolbar = ReadValue("", "Toolbar");
    ASSERT_EQ(sizeof toolbar, savedToolbar.bytes.size());
    EXPECT_EQ(0, memcmp(toolbar, savedToolbar.bytes.data(), sizeof toolbar));
    for (const auto& [name, text] : texts)
        EXPECT_EQ(text, ReadText("", name.c_str())) << name;

    // The entry comes back as it was, fingered once more.
    auto profileAfter = AllValues(ProfilePath("Round trip"));
    EXPECT_EQ(42u, ReadWord(ProfilePath("Round trip"), "NumFingers"));
    const int32_t fingered = static_cast<int32_t>(ReadWord(ProfilePath("Round trip"), "Last Fingered"));
    EXPECT_GE(fingered, static_cast<int32_t>(before));
    EXPECT_LE(fingered, static_cast<int32_t>(after));
    auto profileExpected = profileBefore;
    profileExpected["NumFingers"] = profileAfter["NumFingers"];
    profileExpected["Last Fingered"] = profileAfter["Last Fingered"];
    EXPECT_TRUE(profileExpected == profileAfter);
    EXPECT_EQ(PlanOf("rob"), ReadWholeFile(folder.MonitorFile("00000006.htm")));
}

}
