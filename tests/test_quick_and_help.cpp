// Quick finger and quick whois driven through their dialogs and answered by loopback servers; the about box; the
// help and what's-new documents opened through a stand-in program.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"
#include "ui/help_commands.h"
#include "ui/quick_dialogs.h"

namespace {

// Each step acts once on a box or dialog that has become active; one that a step opens gets the next step. Left
// without steps, a window is closed.
using Step = std::function<void(HWND)>;
std::deque<Step> steps;
std::vector<HWND> handled;
std::string answered;  // "caption|text|owner's caption" of every box answered, one a line

void CALLBACK RunNextStep(HWND, UINT, UINT_PTR, DWORD)
{
    HWND active = GetActiveWindow();
    if (!IsWindowVisible(active) || std::count(handled.begin(), handled.end(), active))
        return;
    handled.push_back(active);
    if (steps.empty())
        steps.push_back([](HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); });
    Step step = std::move(steps.front());
    steps.pop_front();
    step(active);
}

void Drive(const std::function<void()>& command, std::deque<Step> script)
{
    answered.clear();
    handled.clear();
    steps = std::move(script);
    command();
}

Step Answer(int button)
{
    return [button](HWND box) {
        answered += WindowText(box) + "|" + WindowText(GetDlgItem(box, 0xFFFF)) + "|" +
                    WindowText(GetWindow(box, GW_OWNER)) + "\n";
        PostMessageA(box, WM_COMMAND, button, 0);
    };
}

void Click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

// Escape must leave the dialog open.
void PressEscape(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
}

void Type(HWND dialog, const std::string& text)
{
    for (char c : text)
        SendDlgItemMessageA(dialog, IDC_QUICK_ADDRESS, WM_CHAR, static_cast<unsigned char>(c), 0);
}

using Command = void (*)(HWND);

struct QuickTest : ::testing::Test {
    static void SetUpTestSuite() { SetTimer(nullptr, 0, 20, RunNextStep); }
    void SetUp() override
    {
        StartTestProgram({.startTaskThread = false});
        ASSERT_EQ(CreateJobMutexes(), 0);
    }
    // No task thread ran: the queue is emptied and marked as if it had ended.
    void TearDown() override
    {
        SetJobState(0, JS_KILLING);
        PurgeJobs();
        SetJobState(0, JS_THREAD_ENDED);
        StopTestProgram();
    }
};

// What the user does in the dialog: the log question's answer (0: the box stays clear), the long-output box, the way
// out (0: the close box); and what is queued then: no job (-1) or its type, the entry's flags, and the logging option.
TEST_F(QuickTest, TheDialogsQueueOneTemporaryEntryOnOkOnly)
{
    const std::string address(ADDRESS_SIZE - 1, 'a');
    const struct {
        Command command;
        bool loggingBefore;
        int logAnswer;
        bool longOutput;
        int leave;
        int jobType;
        uint32_t flags;
        bool loggingAfter;
    } cases[] = {
        {QuickFinger, false, IDNO, true, IDC_QUICK_OK, JOB_FINGER, FE_LONG_OUTPUT, false},
        {QuickFinger, false, IDYES, false, IDC_QUICK_OK, JOB_FINGER, FE_LOG_OUTPUT, true},
        {QuickFinger, true, 0, true, 0, -1, 0, true},
        {QuickWhois, true, 0, false, IDC_QUICK_OK, JOB_WHOIS, FE_LOG_OUTPUT, true},
        {QuickWhois, false, IDYES, false, IDC_QUICK_CANCEL, -1, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command == QuickFinger ? "finger " : "whois ") + std::to_string(c.logAnswer));
        Settings.options = c.loggingBefore ? Settings.options | OPT_LOGGING : Settings.options & ~OPT_LOGGING;
        const std::string title = c.command == QuickFinger ? "Quick Finger" : "Quick Whois";
        std::deque<Step> script = {[&](HWND dialog) {
            EXPECT_EQ(WindowText(dialog), title);
            EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_QUICK_ADDRESS)), "");
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_QUICK_LOG), 0u);
            EXPECT_EQ(GetDlgItem(dialog, IDC_QUICK_LONG_OUTPUT) != nullptr, c.command == QuickFinger);
            // The same command again does nothing; a dialog it opened all the same is closed, and counted.
            steps.push_front([](HWND nested) { PostMessageA(nested, WM_CLOSE, 0, 0); });
            c.command(ShellHandles.mainWindow);
            if (handled.size() == 1)
                steps.pop_front();
            Type(dialog, address + "bcd");
            Click(dialog, IDC_QUICK_LOG);
            if (c.longOutput)
                Click(dialog, IDC_QUICK_LONG_OUTPUT);
            PressEscape(dialog);
            if (c.leave)
                Click(dialog, c.leave);
            else
                PostMessageA(dialog, WM_CLOSE, 0, 0);
        }};
        if (c.logAnswer)
            script.push_back(Answer(c.logAnswer));
        Drive([&] { c.command(ShellHandles.mainWindow); }, script);
        EXPECT_EQ(handled.size(), c.logAnswer ? 2u : 1u);
        const std::string question = "Logging Not Enabled|Logging isn't currently enabled.\n\nWould you like to "
                                     "enable it now, so that\nthis quick finger will be logged?|" + title + "\n";
        EXPECT_EQ(answered, c.logAnswer ? question : "");
        EXPECT_EQ((Settings.options & OPT_LOGGING) != 0, c.loggingAfter);
        ASSERT_EQ(GetJobCount(), c.jobType < 0 ? 0u : 1u);
        ASSERT_EQ(EntryList.count, GetJobCount());
        if (c.jobType < 0)
            continue;
        const Job& job = *JobQueue.jobHead;
        EXPECT_EQ(job.jobType, static_cast<uint32_t>(c.jobType));
        EXPECT_EQ(job.entry, EntryList.head);
        EXPECT_EQ(job.entry->flags, FE_TEMPORARY | c.flags);
        EXPECT_EQ(job.entry->address, address);
        EXPECT_STREQ(job.entry->description, "");
        EXPECT_STREQ(job.entry->font.lfFaceName, DefaultEntryFont.lfFaceName);
        SetJobState(0, JS_KILLING);
        PurgeJobs();
        SetJobState(0, 0);
        FreeAllEntries();
    }
}

// While the queue takes no jobs, the temporary entry goes again at once; during a kill the user is told why.
TEST_F(QuickTest, AnEntryWhoseJobIsRefusedIsReleased)
{
    for (const uint32_t state : {JS_LOADING, JS_CLOSING, JS_KILLING}) {
        SetJobState(0, state);
        std::deque<Step> script = {[](HWND dialog) {
            Type(dialog, "u@h");
            Click(dialog, IDC_QUICK_OK);
        }};
        if (state == JS_KILLING)
            script.push_back(Answer(IDOK));
        Drive([] { QuickFinger(ShellHandles.mainWindow); }, script);
        EXPECT_EQ(answered, state == JS_KILLING ? "Kill All Jobs|Ombrelane is busy removing the existing jobs.\n\n"
                                                  "Please Wait.|Ombrelane test\n"
                                                : "");
        EXPECT_EQ(GetJobCount(), 0u);
        EXPECT_EQ(EntryList.head, nullptr);
        EXPECT_EQ(EntryList.count, 0u);
    }
    SetJobState(0, 0);
}

struct QuickQueryTest : QuickTest {
    void SetUp() override
    {
        StartTestProgram({.simulate = false});
        ASSERT_EQ(StartWinsock(), 0);
        ASSERT_EQ(SetUpPaths(), 0);
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "127.0.0.6");
    }
    void TearDown() override
    {
        StopTestProgram();
        StopWinsock();
    }
};

// The answer lands in the pane under the header, and the temporary entry is gone after its job.
TEST_F(QuickQueryTest, AQuickQueryIsAnsweredInThePaneAndItsEntryFreed)
{
    const struct {
        Command command;
        int port;
        const char *address, *query, *header;
    } cases[] = {
        {QuickFinger, 79, "alice@127.0.0.6", "/W alice\r\n", "Fingering \"alice@127.0.0.6\" (verbose)\n"},
        {QuickWhois, 43, "example.com", "example.com\r\n", "Performing WHOIS \"example.com\" \n"},
    };
    for (const auto& c : cases) {
        SetWindowTextA(OutputWindow, "");
        TestServer server;
        ASSERT_EQ(StartTestServer(server, "127.0.0.6", c.port, {.answer = "Answer line\r\n"}), 0);
        Drive([&] { c.command(ShellHandles.mainWindow); }, {[&](HWND dialog) {
                Type(dialog, c.address);
                if (GetDlgItem(dialog, IDC_QUICK_LONG_OUTPUT))
                    Click(dialog, IDC_QUICK_LONG_OUTPUT);
                Click(dialog, IDC_QUICK_OK);
            }});
        ASSERT_TRUE(WaitForJobsDone());
        EXPECT_EQ(ServerQuery(server, 0), c.query);
        EXPECT_EQ(PaneText().substr(0, PaneText().find("Answer line\n") + 12), std::string(c.header) + "Answer line\n");
        EXPECT_EQ(EntryList.count, 0u);
    }
}

// Points names of HKEY_CLASSES_ROOT (extensions, classes, URL schemes) at other values for one test, and puts back
// what was there.
struct ClassOverride {
    std::vector<std::pair<std::string, std::string>> saved;
    void Set(const std::string& key, const std::string& value)
    {
        char old[512] = "";
        LONG size = sizeof old;
        RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), old, &size);
        saved.emplace_back(key, old);
        RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(), static_cast<DWORD>(value.size()));
    }
    ~ClassOverride()
    {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            RegSetValueA(HKEY_CLASSES_ROOT, it->first.c_str(), REG_SZ, it->second.c_str(),
                         static_cast<DWORD>(it->second.size()));
    }
};

// The stand-in program records how it was started; documents lie in a program folder with a blank in its name.
struct HelpTest : QuickTest {
    std::string base = TempFolder() + "\\Program Folder\\";
    std::string record = TempFolder() + "\\help record.txt";
    ClassOverride classes;

    void SetUp() override
    {
        StartTestProgram({.startTaskThread = false});
        ASSERT_EQ(SetUpPaths(), 0);
        const std::string recorder = std::string(ProgramFolder) + "record_command_line.exe";
        classes.Set("OmbrelaneTest.Recorder\\shell\\open\\command", "\"" + recorder + "\" \"%1\"");
        snprintf(ProgramFolder, sizeof ProgramFolder, "%s", base.c_str());
        SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
        CreateDirectoryA(base.c_str(), nullptr);
        CreateDirectoryA((base + "help").c_str(), nullptr);
    }
    void TearDown() override
    {
        RemoveFolderTree(base);
        DeleteFileA(record.c_str());
        StopTestProgram();
    }
};

// A document opens through its association with its path as one argument; a missing one, or one no program is
// associated with, is reported with the path.
TEST_F(HelpTest, HelpAndWhatsNewOpenTheirDocumentWithItsPathWhole)
{
    const std::pair<Command, std::string> documents[] = {{OpenHelpDocument, "help\\Ombrelane.htm"},
                                                         {OpenWhatsNew, "whatsnew.txt"}};
    for (const auto& [command, name] : documents) {
        const std::string path = base + name;
        const std::string extension = name.substr(name.rfind('.'));
        WriteWholeFile(path, "document");
        classes.Set(extension, "OmbrelaneTest.Recorder");
        Drive([&] { command(ShellHandles.mainWindow); }, {});
        EXPECT_TRUE(PumpUntil([&] { return IsFile(record); }, 30000)) << name << " was not opened";
        EXPECT_NE(ReadWholeFile(record).find("argc=2\n"), std::string::npos) << ReadWholeFile(record);
        EXPECT_NE(ReadWholeFile(record).find("\nargv[1]=" + path + "\n"), std::string::npos) << ReadWholeFile(record);
        EXPECT_EQ(handled.size(), 0u);
        DeleteFileA(record.c_str());

        classes.Set(extension, "OmbrelaneTest.Nothing");
        Drive([&] { command(ShellHandles.mainWindow); }, {Answer(IDOK)});
        const std::string unassociated = answered;
        RemoveFolderTree(base + "help");
        DeleteFileA(path.c_str());
        classes.Set(extension, "OmbrelaneTest.Recorder");
        Drive([&] { command(ShellHandles.mainWindow); }, {Answer(IDOK)});
        EXPECT_EQ(unassociated, "Ombrelane|Couldn't find a program associated with:\n" + path + "|Ombrelane test\n");
        EXPECT_EQ(answered, "Ombrelane|Couldn't find: " + path + "|Ombrelane test\n");
        PumpMessagesFor(100);
        EXPECT_FALSE(IsFile(record));
    }
}

// The about box names the version; a web page or mail that cannot be opened is reported on the box, which stays.
TEST_F(HelpTest, TheAboutBoxShowsTheVersionAndStaysOpenWhenALinkFails)
{
    for (const char* scheme : {"https", "mailto"})
        classes.Set(std::string(scheme) + "\\shell\\open\\command", "\"" + base + "missing.exe\" \"%1\"");
    Drive([] { ShowAboutBox(ShellHandles.mainWindow); },
        {[](HWND dialog) {
             EXPECT_EQ(WindowText(dialog), "About Ombrelane");
             const std::string text = WindowText(GetDlgItem(dialog, IDC_ABOUT_TEXT));
             EXPECT_EQ(text.substr(0, text.find('\n')), "Ombrelane 1.23");
             PressEscape(dialog);
             Click(dialog, IDC_ABOUT_WEB_PAGE);
             EXPECT_TRUE(IsWindowVisible(dialog));
             Click(dialog, IDC_ABOUT_EMAIL);
             EXPECT_TRUE(IsWindowVisible(dialog));
             Click(dialog, IDC_ABOUT_OK);
         },
         Answer(IDOK), Answer(IDOK)});
    EXPECT_EQ(answered,
              "Visit Corvale|Couldn't visit \"https://www.rfc-editor.org/rfc/rfc1288\"|About Ombrelane\n"
              "E-mail Corvale|Couldn't visit \"mailto:?subject=Ombrelane%201.23\"|About Ombrelane\n");
}

}
