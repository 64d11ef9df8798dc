// Quick finger and quick whois through their dialogs; Help, What's New and the about box.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "support/test_windows.h"
#include "ui/help_commands.h"
#include "ui/quick_dialogs.h"

namespace {

// Each step acts once on the next box or dialog to become active; left without steps, a window is answered No and
// closed. Every window met adds a line "caption|message text" to seen.
using Step = std::function<void(HWND)>;
std::deque<Step> steps;
std::vector<HWND> met;
std::string seen;

Step Press(int id)
{
    return [=](HWND window) { PostMessageA(window, WM_COMMAND, id, 0); };
}

void Close(HWND window)
{
    PostMessageA(window, WM_COMMAND, IDNO, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
}

void CALLBACK RunNextStep(HWND, UINT, UINT_PTR, DWORD)
{
    HWND active = GetActiveWindow();
    if (!IsWindowVisible(active) || std::count(met.begin(), met.end(), active))
        return;
    met.push_back(active);
    HWND text = GetDlgItem(active, 0xFFFF);
    seen += WindowText(active) + "|" + (text ? WindowText(text) : "") + "\n";
    const Step step = steps.empty() ? Close : steps.front();
    if (!steps.empty())
        steps.pop_front();
    step(active);
}

void Drive(void (*command)(HWND), std::deque<Step> script)
{
    met.clear();
    seen.clear();
    steps = std::move(script);
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, RunNextStep);
    command(ShellHandles.mainWindow);
    KillTimer(nullptr, timer);
}

void Click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

// Types, ticks both boxes, and presses Escape and the same command again, neither of which may do anything (a
// dialog opened all the same is closed, and seen); then leaves with the button, or the close box when it is 0.
Step Fill(void (*command)(HWND), const std::string& address, int leave)
{
    return [=](HWND dialog) {
        for (char c : address)
            SendDlgItemMessageA(dialog, IDC_QUICK_ADDRESS, WM_CHAR, static_cast<unsigned char>(c), 0);
        Click(dialog, IDC_QUICK_LOG);
        Click(dialog, IDC_QUICK_LONG_OUTPUT);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        steps.push_front(Close);
        command(ShellHandles.mainWindow);
        if (!steps.empty())
            steps.pop_front();
        if (leave)
            Click(dialog, leave);
        else
            Close(dialog);
    };
}

struct QuickAndHelp : ::testing::Test {
    void SetUp() override
    {
        StartTestProgram({.simulate = false});
        ASSERT_EQ(StartWinsock() | SetUpPaths(), 0);
    }
    void TearDown() override
    {
        StopTestProgram();
        StopWinsock();
    }
};

// With the jobs paused: the log question's answer (0: not asked), the way out (0: the close box), the queue's state.
// Only OK queues, with at most 127 characters; a job the queue refuses leaves no entry behind.
TEST_F(QuickAndHelp, OnlyOkQueuesATemporaryEntryAndARefusedOneIsReleased)
{
    const std::string address(ADDRESS_SIZE - 1, 'a');
    const struct {
        void (*command)(HWND);
        uint32_t logging, state;
        int answer, leave;
    } cases[] = {{QuickFinger, 0, JS_PAUSED, IDNO, IDC_QUICK_OK},
                 {QuickFinger, 0, JS_PAUSED, IDYES, 0},
                 {QuickWhois, OPT_LOGGING, JS_PAUSED, 0, IDC_QUICK_OK},
                 {QuickWhois, 0, JS_PAUSED, IDYES, IDC_QUICK_CANCEL},
                 {QuickFinger, OPT_LOGGING, JS_PAUSED | JS_LOADING, 0, IDC_QUICK_OK}};
    for (const auto& c : cases) {
        Settings.options = c.logging;
        SetJobState(0, c.state);
        Drive(c.command, {Fill(c.command, address + "bcd", c.leave), c.answer ? Press(c.answer) : Close});
        const bool finger = c.command == QuickFinger;
        EXPECT_EQ(seen, std::string(finger ? "Quick Finger|\n" : "Quick Whois|\n") +
                            (c.answer ? "Logging Not Enabled|Logging isn't currently enabled.\n\nWould you like to "
                                        "enable it now, so that\nthis quick finger will be logged?\n"
                                      : ""));
        EXPECT_EQ(Settings.options, c.answer == IDNO ? 0u : uint32_t{OPT_LOGGING});
    }
    ASSERT_EQ(GetJobCount(), 2u);
    ASSERT_EQ(EntryList.count, 2u);
    const Job& finger = *JobQueue.jobHead;
    const Job& whois = *JobQueue.jobTail;
    EXPECT_EQ(finger.jobType, JOB_FINGER);
    EXPECT_EQ(finger.entry->flags, FE_TEMPORARY | FE_LONG_OUTPUT);
    EXPECT_EQ(whois.jobType, JOB_WHOIS);
    EXPECT_EQ(whois.entry->flags, FE_TEMPORARY | FE_LOG_OUTPUT);
    EXPECT_TRUE(finger.entry->address == address && whois.entry->address == address);
}

TEST_F(QuickAndHelp, AQuickWhoisIsAnsweredInThePaneAndItsEntryFreed)
{
    snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "127.0.0.6");
    TestServer server;
    ASSERT_EQ(StartTestServer(server, "127.0.0.6", 43, {.answer = "Domain: example.com\r\n"}), 0);
    Drive(QuickWhois, {Fill(QuickWhois, "example.com", IDC_QUICK_OK), Press(IDNO)});
    EXPECT_TRUE(WaitForJobsDone());
    EXPECT_EQ(ServerQuery(server, 0), "example.com\r\n");
    EXPECT_TRUE(PaneText().starts_with("Performing WHOIS \"example.com\" \nDomain: example.com\n")) << PaneText();
    EXPECT_EQ(EntryList.count, 0u);
}

// The documents lie in a folder with a blank in its name; ".htm" and ".txt" open with a stand-in that records its
// command line, the web page and mail with a missing program. The registry is put back afterwards.
TEST_F(QuickAndHelp, DocumentsOpenWithTheirPathWholeAndFailuresAreReported)
{
    const std::string base = TempFolder() + "\\Program Folder\\", record = base + "record.txt";
    const std::string recorder = std::string("\"") + ProgramFolder + "record_command_line.exe\" \"%1\"";
    const std::string missing = std::string("\"") + base + "missing.exe\" \"%1\"";
    const std::vector<std::pair<std::string, std::string>> classes = {
        {".htm", "OmbrelaneTest"}, {".txt", "OmbrelaneTest"}, {"OmbrelaneTest\\shell\\open\\command", recorder},
        {"https\\shell\\open\\command", missing}, {"mailto\\shell\\open\\command", missing}};
    std::vector<std::string> saved;
    for (const auto& [key, value] : classes) {
        char old[512] = "";
        LONG size = sizeof old;
        RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), old, &size);
        saved.push_back(old);
        RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(), value.size());
    }
    snprintf(ProgramFolder, sizeof ProgramFolder, "%s", base.c_str());
    SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
    CreateDirectoryA(base.c_str(), nullptr);
    const std::pair<void (*)(HWND), const char*> documents[] = {{OpenHelpDocument, "help\\Ombrelane.htm"},
                                                                {OpenWhatsNew, "whatsnew.txt"}};
    for (const auto& [command, name] : documents) {
        CreateDirectoryA((base + "help").c_str(), nullptr);
        WriteWholeFile(base + name, "document");
        Drive(command, {});
        EXPECT_EQ(seen, "");
        EXPECT_TRUE(PumpUntil([&] { return IsFile(record); }, 30000));
        const std::string started = ReadWholeFile(record);
        EXPECT_TRUE(started.starts_with("argc=2\n") && started.ends_with("\nargv[1]=" + base + name + "\n")) << started;
        RemoveFolderTree(base + "help");
        DeleteFileA((base + name).c_str());
        DeleteFileA(record.c_str());
        Drive(command, {Press(IDOK)});
        EXPECT_EQ(seen, "Ombrelane|Couldn't find: " + base + name + "\n");
    }
    Drive(ShowAboutBox, {[](HWND about) {
                             EXPECT_TRUE(WindowText(GetDlgItem(about, IDC_ABOUT_TEXT)).starts_with("Ombrelane 1.23\n"));
                             Click(about, IDC_ABOUT_WEB_PAGE);
                             Click(about, IDC_ABOUT_EMAIL);
                             EXPECT_TRUE(IsWindowVisible(about));
                             Click(about, IDC_ABOUT_OK);
                         },
                         Press(IDOK), Press(IDOK)});
    EXPECT_EQ(seen, "About Ombrelane|\nVisit Corvale|Couldn't visit \"https://www.rfc-editor.org/rfc/rfc1288\"\n"
                    "E-mail Corvale|Couldn't visit \"mailto:?subject=Ombrelane%201.23\"\n");
    for (size_t i = 0; i < classes.size(); ++i)
        RegSetValueA(HKEY_CLASSES_ROOT, classes[i].first.c_str(), REG_SZ, saved[i].c_str(), saved[i].size());
    RemoveFolderTree(base);
}

}
