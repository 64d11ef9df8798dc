// The built program as a whole: Ombrelane.exe is copied into a fresh folder,
// started as its own process with a prepared registry, driven through its
// main window and message boxes, and judged by its exit code, the queries its
// finger servers received, its log, its monitor files and the registry it
// leaves behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
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

// The finger servers of these tests listen on hosts of their own, 127.0.1.x
// (all of 127/8 is the loopback), so that they never meet the servers of the
// client tests that run beside them.
constexpr int FINGER_PORT = 79;
// A run that has not ended after this long is stuck; it is ended and fails.
constexpr DWORD RUN_LIMIT_MS = 60000;
// How often the waits look at the program's windows and process.
constexpr DWORD POLL_MS = 20;
// The options of a user who has seen the welcome: no first-run boxes.
constexpr uint32_t QUIET_OPTIONS = OPT_REMEMBER_POSITION | OPT_NETWORK | OPT_WELCOME_SHOWN;

std::string ProfilePath(const std::string& key)
{
    return "Profiles\\" + key;
}

// A 4-byte number as a save writes it.
uint32_t StoredWord(const std::string& below, const char* name)
{
    const RawValue value = ReadValue(below, name);
    EXPECT_TRUE(value.Is(REG_BINARY, 4)) << below << " " << name;
    return value.Word();
}

// A stored entry every value of which differs from a new entry's.
ProfileSeed FullProfile(const std::string& key, const std::string& address, const std::string& monitorFile,
                        uint32_t flags, uint32_t fingerCount)
{
    ProfileSeed seed = NewProfile(key, address, monitorFile, flags);
    seed.iconFile = "C:\\windows\\system32\\shell32.dll";
    seed.iconIndex = 7;
    seed.fingerCount = fingerCount;
    seed.colour = 0x00336699;
    seed.points = 100;
    seed.hasFont = true;
    seed.font.lfHeight = -13;
    seed.font.lfWeight = FW_BOLD;
    seed.font.lfItalic = 1;
    seed.font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    snprintf(seed.font.lfFaceName, sizeof seed.font.lfFaceName, "Courier New");
    seed.period = PERIOD_HOURS;
    seed.interval = 3;
    seed.lastFingered = 1000;
    return seed;
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
        RemoveFolderTree(path);
        CreateDirectoryA(path.c_str(), nullptr);
        const std::string dist = DistFolder();
        CopyFileA((dist + "Ombrelane.exe").c_str(), Exe().c_str(), FALSE);
        CopyFileA((dist + "Welcome.rtf").c_str(), File("Welcome.rtf").c_str(), FALSE);
    }
    ~RunFolder() { RemoveFolderTree(path); }
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
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (processId == search->processId && IsWindowVisible(window) && strcmp(className, search->className) == 0)
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
        if (!Ended()) {
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
        std::vector<HWND> windows = TopLevelWindows(process.dwProcessId, "Ombrelane");
        return windows.empty() ? nullptr : windows.front();
    }
};

bool StartProgram(ProgramRun& run, const RunFolder& folder, const std::string& switches)
{
    const std::string commandLine = "\"" + folder.path + "\\Ombrelane.exe\" " + switches;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(folder.Exe().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.path.c_str(), &startup, &run.process) != 0;
}

// Records every new message box of the program and presses what the answer says.
void AnswerNewBoxes(ProgramRun& run, const BoxAnswer& answer)
{
    std::erase_if(run.handled, [](HWND window) { return !IsWindow(window); });
    for (HWND window : TopLevelWindows(run.process.dwProcessId, "#32770")) {
        if (std::find(run.handled.begin(), run.handled.end(), window) != run.handled.end())
            continue;
        ChildBox box;
        box.caption = WindowText(window);
        // A message box keeps its text in the static control 0xFFFF.
        if (HWND body = GetDlgItem(window, 0xFFFF))
            box.text = WindowText(body);
        run.boxes.push_back(box);
        run.handled.push_back(window);
        if (const int button = answer(box))
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    }
}

// Answers boxes until done() holds or the time is up; returns the last done().
bool WaitAnswering(ProgramRun& run, const BoxAnswer& answer, const std::function<bool()>& done,
                   DWORD limitMs = RUN_LIMIT_MS)
{
    const DWORD start = GetTickCount();
    for (;;) {
        AnswerNewBoxes(run, answer);
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

HWND WaitForMainWindow(ProgramRun& run)
{
    HWND window = nullptr;
    WaitAnswering(run, PressOk, [&] { return (window = run.MainWindow()) != nullptr || run.Ended(); });
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
        ASSERT_TRUE(IsFile(DistFolder() + "Ombrelane.exe")) << "the program is not built: " << DistFolder();
        DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
    }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH); }
};

// ---------------------------------------------------------------------------
// Command line and start-up

TEST_F(ProgramTest, StartAndGroupSwitchesFingerEveryMemberOnceInQueueOrder)
{
    // Profiles are listed in the order the registry gives them, by name. The
    // entries marked for the start are queued before the command line's groups;
    // a scheduled entry is first due one interval after the start. Members
    // that must not be asked all live on 127.0.1.4.
    struct Member {
        const char* key;
        const char* user;
        const char* host;
        uint32_t flags;
        int queued;  // place in the queue, -1: never fingered
    };
    const Member members[] = {
        {"A status member", "amy", "127.0.1.2", FE_GROUP_STATUS, 1},
        {"B in status and group 2", "ben", "127.0.1.3", FE_GROUP_STATUS | FE_GROUP_2, 2},
        {"C group 1 only", "cat", "127.0.1.4", FE_GROUP_1, -1},
        {"D mail member", "dan", "127.0.1.5", FE_GROUP_MAIL, 3},
        {"E group 2 member", "eve", "127.0.1.6", FE_GROUP_2, 4},
        {"F in no group", "fay", "127.0.1.4", 0, -1},
        {"G at start", "gus", "127.0.1.7", FE_FINGER_AT_START, 0},
        {"H scheduled", "hal", "127.0.1.4", FE_AUTO_FINGER, -1},
    };
    constexpr int count = sizeof members / sizeof members[0];
    TestServer servers[count];
    TestServer unasked;
    StartPlanServer(unasked, "127.0.1.4", "nobody");
    ASSERT_TRUE(PutWord("", "Options", QUIET_OPTIONS | OPT_LOGGING));
    std::vector<std::string> logged(count);
    for (int i = 0; i < count; ++i) {
        const Member& member = members[i];
        const std::string address = std::string(member.user) + "@" + member.host;
        char monitor[16];
        snprintf(monitor, sizeof monitor, "%08d.htm", i);
        ProfileSeed seed = NewProfile(member.key, address, monitor, member.flags | FE_LOG_OUTPUT);
        seed.interval = 5;
        ASSERT_TRUE(SeedProfile(seed));
        if (member.queued >= 0) {
            StartPlanServer(servers[i], member.host, member.user);
            logged[static_cast<size_t>(member.queued)] = FingerHeader(address) + PlanOf(member.user);
        }
    }
    RunFolder folder;
    ProgramRun run;
    const time_t before = time(nullptr);
    ASSERT_TRUE(StartProgram(run, folder, "mail STATUS  Group2 exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(run, PressOk));
    const time_t after = time(nullptr);

    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);
    std::string expectedLog;
    for (const std::string& piece : logged)
        expectedLog += piece;
    EXPECT_EQ(expectedLog, ReadWholeFile(folder.Log()));
    EXPECT_EQ(0, ServerConnectionCount(unasked));
    for (int i = 0; i < count; ++i) {
        const Member& member = members[i];
        SCOPED_TRACE(member.key);
        char monitor[16];
        snprintf(monitor, sizeof monitor, "%08d.htm", i);
        const std::string below = ProfilePath(member.key);
        if (member.queued >= 0) {
            ASSERT_EQ(1, ServerConnectionCount(servers[i]));
            EXPECT_EQ(std::string(member.user) + "\r\n", ServerQuery(servers[i], 0));
            EXPECT_EQ(PlanOf(member.user), ReadWholeFile(folder.MonitorFile(monitor)));
            EXPECT_EQ(1u, StoredWord(below, "NumFingers"));
            const int32_t fingered = static_cast<int32_t>(StoredWord(below, "Last Fingered"));
            EXPECT_GE(fingered, static_cast<int32_t>(before));
            EXPECT_LE(fingered, static_cast<int32_t>(after));
        } else {
            EXPECT_FALSE(IsFile(folder.MonitorFile(monitor)));
            EXPECT_EQ(0u, StoredWord(below, "NumFingers"));
            EXPECT_EQ(0u, StoredWord(below, "Last Fingered"));
        }
    }
}

TEST_F(ProgramTest, UnknownSwitchIsReportedAndNoJobRuns)
{
    ASSERT_TRUE(PutWord("", "Options", QUIET_OPTIONS));
    TestServer server;
    StartPlanServer(server, "127.0.1.2", "mia");
    ASSERT_TRUE(SeedProfile(NewProfile("Mail member", "mia@127.0.1.2", "00000000.htm", FE_GROUP_MAIL)));
    RunFolder folder;
    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, "mail /mail exitwhenidle"));
    EXPECT_EQ(1u, RunToEnd(run, PressOk));

    ASSERT_EQ(1u, run.boxes.size()) << BoxList(run.boxes);
    EXPECT_EQ("Ombrelane Bad Switch", run.boxes[0].caption);
    EXPECT_EQ("Ombrelane doesn't know what \"/mail\" means.", run.boxes[0].text);
    EXPECT_EQ(0, ServerConnectionCount(server));
    EXPECT_FALSE(IsFile(folder.MonitorFile("00000000.htm")));
}

TEST_F(ProgramTest, SecondCopyIsRefusedWhileTheFirstRuns)
{
    ASSERT_TRUE(PutWord("", "Options", QUIET_OPTIONS));
    RunFolder firstFolder;
    RunFolder secondFolder;
    ProgramRun first;
    ASSERT_TRUE(StartProgram(first, firstFolder, ""));
    HWND firstWindow = WaitForMainWindow(first);
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

TEST_F(ProgramTest, FirstStartWelcomesOnceAndAsksAboutHtmlThenIdleRunsEndAtOnce)
{
    const struct {
        int answer;
        uint32_t options;
    } cases[] = {{IDYES, QUIET_OPTIONS | OPT_AUTO_HTML}, {IDNO, QUIET_OPTIONS}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer == IDYES ? "yes" : "no");
        DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
        RunFolder folder;
        ProgramRun run;
        std::string paneDuringWelcome;
        auto answer = [&](const ChildBox& box) {
            if (box.caption != "Welcome to Ombrelane")
                return IDOK;
            if (box.text == HTML_QUESTION)
                return c.answer;
            paneDuringWelcome = PaneTextOf(run.MainWindow());
            return IDOK;
        };
        ASSERT_TRUE(StartProgram(run, folder, "exitwhenidle"));
        EXPECT_EQ(0u, RunToEnd(run, answer));
        ASSERT_EQ(2u, run.boxes.size()) << BoxList(run.boxes);
        EXPECT_EQ("Welcome to Ombrelane", run.boxes[0].caption);
        EXPECT_EQ(WELCOME_TEXT, run.boxes[0].text);
        EXPECT_EQ("Welcome to Ombrelane", run.boxes[1].caption);
        EXPECT_EQ(HTML_QUESTION, run.boxes[1].text);
        // The welcome document is in the output pane behind the boxes.
        EXPECT_NE(std::string::npos, paneDuringWelcome.find("Getting started")) << paneDuringWelcome;
        EXPECT_EQ(c.options, StoredWord("", "Options"));

        // The welcome comes once only; with no work the run ends at once.
        ProgramRun again;
        ASSERT_TRUE(StartProgram(again, folder, "exitwhenidle"));
        EXPECT_EQ(0u, RunToEnd(again, PressOk));
        EXPECT_TRUE(again.boxes.empty()) << BoxList(again.boxes);
        EXPECT_EQ(c.options, StoredWord("", "Options"));
        // The settings record was written, the log named beside the program.
        EXPECT_TRUE(ReadValue("", "Rect").Is(REG_BINARY, sizeof(RECT)));
        EXPECT_EQ(0, lstrcmpiA(folder.Log().c_str(), ReadValue("", "Log File").Text().c_str()));
        EXPECT_TRUE(SubkeyNames(PROFILES_KEY_PATH).empty());
        EXPECT_TRUE(IsFolder(folder.File("Monitor")));
        EXPECT_FALSE(IsFile(folder.Log()));
    }
}

TEST_F(ProgramTest, MonitorFolderThatCannotBeMadeEndsStartUpAndKeepsProfiles)
{
    ASSERT_TRUE(PutWord("", "Options", QUIET_OPTIONS));
    TestServer server;
    StartPlanServer(server, "127.0.1.4", "kim");
    ASSERT_TRUE(SeedProfile(FullProfile("Kept", "kim@127.0.1.4", "00000003.htm", FE_FINGER_AT_START, 5)));
    ASSERT_TRUE(SeedProfile(FullProfile("Kept too", "kai@127.0.1.4", "00000004.htm", FE_GROUP_MAIL, 9)));
    const auto keptBefore = AllValues(ProfilePath("Kept"));
    const auto keptTooBefore = AllValues(ProfilePath("Kept too"));
    RunFolder folder;
    // A plain file takes the place of the Monitor folder.
    WriteWholeFile(folder.File("Monitor"), "");

    ProgramRun run;
    ASSERT_TRUE(StartProgram(run, folder, "mail exitwhenidle"));
    EXPECT_EQ(1u, RunToEnd(run, PressOk));
    ASSERT_EQ(1u, run.boxes.size()) << BoxList(run.boxes);
    EXPECT_EQ("Monitor Error", run.boxes[0].caption);
    const std::string expected = "Couldn't create the monitor subfolder \"" + folder.File("Monitor") + "\".";
    EXPECT_EQ(0, lstrcmpiA(expected.c_str(), run.boxes[0].text.c_str())) << run.boxes[0].text;

    EXPECT_EQ(0, ServerConnectionCount(server));
    EXPECT_TRUE(IsFile(folder.File("Monitor")));
    EXPECT_EQ(2u, SubkeyNames(PROFILES_KEY_PATH).size());
    EXPECT_EQ(12u, keptBefore.size());
    EXPECT_TRUE(keptBefore == AllValues(ProfilePath("Kept")));
    EXPECT_TRUE(keptTooBefore == AllValues(ProfilePath("Kept too")));
}

// ---------------------------------------------------------------------------
// Shutdown

const char CLOSE_QUESTION[] = "Ombrelane still has jobs left to do.\n\nDo you really want to exit?";

// Starts the program with an entry fingered at start whose server never
// answers, and waits until the query has arrived; the main window, or null.
HWND StartWithSilentJob(ProgramRun& run, const RunFolder& folder, TestServer& server, const char* host,
                        const std::string& user)
{
    EXPECT_TRUE(PutWord("", "Options", QUIET_OPTIONS | OPT_LOGGING));
    StartSilentServer(server, host);
    const std::string address = user + "@" + host;
    EXPECT_TRUE(SeedProfile(NewProfile("Silent", address, "00000000.htm", FE_FINGER_AT_START | FE_LOG_OUTPUT)));
    if (!StartProgram(run, folder, ""))
        return nullptr;
    HWND window = WaitForMainWindow(run);
    if (!WaitAnswering(run, PressOk, [&] { return ServerQuery(server, 0) == user + "\r\n"; }))
        return nullptr;
    return window;
}

TEST_F(ProgramTest, ClosingWithJobsLeftAsksAndEndsAfterTheJob)
{
    RunFolder folder;
    ProgramRun run;
    TestServer server;
    HWND window = StartWithSilentJob(run, folder, server, "127.0.1.2", "sid");
    ASSERT_NE(nullptr, window);

    int closeQuestions = 0;
    auto answer = [&](const ChildBox& box) {
        if (box.caption != "Close Ombrelane")
            return IDOK;
        return ++closeQuestions == 1 ? IDNO : IDYES;
    };
    // No: the program goes on with its job.
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitAnswering(run, answer, [&] { return closeQuestions == 1 && run.handled.empty(); }));
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
    EXPECT_EQ(FingerHeader("sid@127.0.1.2") + CANCELLED_LINE, ReadWholeFile(folder.Log()));
    EXPECT_EQ(1u, StoredWord(ProfilePath("Silent"), "NumFingers"));
}

TEST_F(ProgramTest, ExitCommandWhileAJobWaitsEndsCleanly)
{
    RunFolder folder;
    ProgramRun run;
    TestServer server;
    HWND window = StartWithSilentJob(run, folder, server, "127.0.1.3", "sue");
    ASSERT_NE(nullptr, window);
    RECT shown;
    ASSERT_TRUE(GetWindowRect(window, &shown));

    // Exit asks nothing. The silent server would hold the job for the whole
    // network time limit (a minute): ending well before that means the job
    // was stopped.
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(0u, RunToEnd(run, PressOk, 30000));
    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);

    EXPECT_EQ(FingerHeader("sue@127.0.1.3") + CANCELLED_LINE, ReadWholeFile(folder.Log()));
    const RawValue rect = ReadValue("", "Rect");
    ASSERT_EQ(sizeof(RECT), rect.bytes.size());
    EXPECT_EQ(0, memcmp(&shown, rect.bytes.data(), sizeof shown));
    EXPECT_EQ("sue@127.0.1.3", ReadValue(ProfilePath("Silent"), "Address").Text());
    EXPECT_EQ(1u, StoredWord(ProfilePath("Silent"), "NumFingers"));
}

TEST_F(ProgramTest, SettingsAndEntryValuesRoundTrip)
{
    const uint32_t options = QUIET_OPTIONS | OPT_HIDE_WHEN_MINIMISED | OptSortToggle(1) | OptSortToggle(3);
    ASSERT_TRUE(PutWord("", "Options", options));
    ASSERT_TRUE(PutWord("", "MaxAllocSize", 131072));
    const RECT rect = {120, 90, 720, 570};
    ASSERT_TRUE(PutValue("", "Rect", REG_BINARY, &rect, sizeof rect));
    const std::vector<std::pair<const char*, uint32_t>> words = {
        {"LV Style", 2}, {"Display Split", 7}, {"Last Column Sorted", 1}, {"Col1cx", 150}, {"Col2cx", 140},
        {"Col3cx", 40},  {"Col4cx", 110},      {"Col5cx", 70},            {"NumButtons", 3},
    };
    for (const auto& [name, value] : words)
        ASSERT_TRUE(PutWord("", name, value));
    const int32_t toolbar[3] = {IDM_NEW_ENTRY, 0, IDM_FINGER};
    ASSERT_TRUE(PutValue("", "Toolbar", REG_BINARY, toolbar, sizeof toolbar));
    const std::vector<std::pair<const char*, const char*>> texts = {
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
        ASSERT_TRUE(PutText("", name, text));
    TestServer server;
    StartPlanServer(server, "127.0.1.2", "rob");
    ASSERT_TRUE(
        SeedProfile(FullProfile("Round trip", "rob@127.0.1.2", "00000006.htm", FE_FINGER_AT_START | FE_GROUP_3, 41)));
    const auto profileBefore = AllValues(ProfilePath("Round trip"));

    RunFolder folder;
    ProgramRun run;
    const time_t before = time(nullptr);
    ASSERT_TRUE(StartProgram(run, folder, "exitwhenidle"));
    EXPECT_EQ(0u, RunToEnd(run, PressOk));
    const time_t after = time(nullptr);
    EXPECT_TRUE(run.boxes.empty()) << BoxList(run.boxes);
    EXPECT_EQ(1, ServerConnectionCount(server));

    EXPECT_EQ(options, StoredWord("", "Options"));
    EXPECT_EQ(131072u, StoredWord("", "MaxAllocSize"));
    const RawValue savedRect = ReadValue("", "Rect");
    ASSERT_EQ(sizeof rect, savedRect.bytes.size());
    EXPECT_EQ(0, memcmp(&rect, savedRect.bytes.data(), sizeof rect)) << "the window was not put back where it was";
    for (const auto& [name, value] : words)
        EXPECT_EQ(value, StoredWord("", name)) << name;
    const RawValue savedToolbar = ReadValue("", "Toolbar");
    ASSERT_EQ(sizeof toolbar, savedToolbar.bytes.size());
    EXPECT_EQ(0, memcmp(toolbar, savedToolbar.bytes.data(), sizeof toolbar));
    for (const auto& [name, text] : texts)
        EXPECT_EQ(text, ReadValue("", name).Text()) << name;

    // The entry comes back as it was, fingered once more.
    auto profileAfter = AllValues(ProfilePath("Round trip"));
    EXPECT_EQ(42u, StoredWord(ProfilePath("Round trip"), "NumFingers"));
    const int32_t fingered = static_cast<int32_t>(StoredWord(ProfilePath("Round trip"), "Last Fingered"));
    EXPECT_GE(fingered, static_cast<int32_t>(before));
    EXPECT_LE(fingered, static_cast<int32_t>(after));
    auto profileExpected = profileBefore;
    profileExpected["NumFingers"] = profileAfter["NumFingers"];
    profileExpected["Last Fingered"] = profileAfter["Last Fingered"];
    EXPECT_TRUE(profileExpected == profileAfter);
    EXPECT_EQ(PlanOf("rob"), ReadWholeFile(folder.MonitorFile("00000006.htm")));
}

}
