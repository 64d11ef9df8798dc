// The built program run as its own process from a fresh folder with a prepared registry, judged by its exit code,
// its boxes, the queries its finger servers received, its log, monitor files and the registry it leaves.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "entries/registry.h"
#include "entries/settings.h"
#include "resources/resource.h"
#include "support/program_fixture.h"
#include "support/registry_values.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"

namespace {

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

void StartPlanServer(TestServer& server, const char* host, const std::string& user, bool silent = false)
{
    ASSERT_EQ(0, StartTestServer(server, host, 79, {.answer = PlanOf(user), .neverAnswer = silent})) << host;
}

std::string MonitorName(int number)  // number < 10
{
    return "0000000" + std::to_string(number) + ".htm";
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
    StartPlanServer(unasked, "127.0.1.4", "nobody");
    ASSERT_TRUE(PutWord("", "Options", QUIET_OPTIONS | OPT_LOGGING));
    std::map<int, std::string> logged;  // by place in the queue
    for (int i = 0; i < count; ++i) {
        const std::string address = std::string(members[i].user) + "@" + members[i].host;
        ProfileSeed seed = NewProfile(members[i].key, address, MonitorName(i), members[i].flags | FE_LOG_OUTPUT);
        seed.interval = 5;
        seed.hasFont = true;
        snprintf(seed.font.lfFaceName, sizeof seed.font.lfFaceName, "Courier New");
        ASSERT_TRUE(SeedProfile(seed));
        if (members[i].queued >= 0) {
            StartPlanServer(servers[i], members[i].host, members[i].user);
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
        const std::string monitor = folder.File("Monitor\\" + MonitorName(i));
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
    StartPlanServer(server, "127.0.1.2", "sid", true);
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
