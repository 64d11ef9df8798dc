// Quick finger and quick whois through their dialogs; Help, What's New and the about box.
#include <gtest/gtest.h>

#include <windows.h>

#include <deque>
#include <string>
#include <tuple>
#include <vector>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "output/answer_buffers.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/dialog_steps.h"
#include "support/program_test.h"
#include "support/test_files.h"
#include "support/test_windows.h"
#include "ui/help_commands.h"
#include "ui/quick_dialogs.h"

namespace {

void Drive(void (*command)(HWND), std::deque<Step> steps)
{
    SetSteps(std::move(steps));
    command(ShellHandles.mainWindow);
}

// Types, ticks both boxes, and runs the same command again, which must not open a second dialog; then leaves.
Step Fill(void (*command)(HWND), const std::string& address, int leave)
{
    return [=](HWND dialog) {
        for (char c : address)
            SendDlgItemMessageA(dialog, IDC_QUICK_ADDRESS, WM_CHAR, static_cast<unsigned char>(c), 0);
        Click(dialog, {IDC_QUICK_LOG, IDC_QUICK_LONG_OUTPUT});
        command(ShellHandles.mainWindow);
        Leave(dialog, leave);
    };
}

using QuickAndHelp = ProgramFixture<>;

// Command, caption, options and queue state before, the log question's answer (0: not asked), the way out (0: the
// close box). Only OK queues, with at most 127 characters; a job the queue refuses frees its entry.
TEST_F(QuickAndHelp, OnlyOkQueuesATemporaryEntryAndARefusedOneIsReleased)
{
    const std::string address(ADDRESS_SIZE - 1, 'a');
    const std::string question = "Logging Not Enabled|Logging isn't currently enabled.\n\nWould you like to enable it "
                                 "now, so that\nthis quick finger will be logged?\n";
    const std::tuple<void (*)(HWND), const char*, uint32_t, uint32_t, int, int> cases[] = {
        {QuickFinger, "Quick Finger|\n", 0, JS_PAUSED, IDNO, IDC_QUICK_OK},
        {QuickFinger, "Quick Finger|\n", 0, JS_PAUSED, IDYES, 0},
        {QuickWhois, "Quick Whois|\n", OPT_LOGGING, JS_PAUSED, 0, IDC_QUICK_OK},
        {QuickWhois, "Quick Whois|\n", 0, JS_PAUSED, IDYES, IDC_QUICK_CANCEL},
        {QuickFinger, "Quick Finger|\n", OPT_LOGGING, JS_PAUSED | JS_LOADING, 0, IDC_QUICK_OK}};
    for (const auto& [command, dialog, logging, state, answer, leave] : cases) {
        Settings.options = logging;
        SetJobState(0, state);
        Drive(command, {Fill(command, address + "bcd", leave), answer ? Press(answer) : nullptr});
        EXPECT_EQ(SeenWindows(), dialog + (answer ? question : ""));
        EXPECT_EQ(Settings.options, answer == IDNO ? 0u : uint32_t{OPT_LOGGING});
    }
    ASSERT_EQ(GetJobCount(), 2u);
    ASSERT_EQ(EntryList.count, 2u);
    const Job& finger = *JobQueue.jobHead;
    const Job& whois = *JobQueue.jobTail;
    EXPECT_TRUE(finger.jobType == JOB_FINGER && whois.jobType == JOB_WHOIS);
    EXPECT_EQ(finger.entry->flags, FE_TEMPORARY | FE_LONG_OUTPUT);
    EXPECT_EQ(whois.entry->flags, FE_TEMPORARY | FE_LOG_OUTPUT);
    EXPECT_TRUE(finger.entry->address == address && whois.entry->address == address);
}

// The documents lie in a folder with a blank in its name; ".htm" and ".txt" open with a stand-in that records its
// command line, the web page and mail with a missing program. The classes are changed in the sandbox's own registry.
TEST_F(QuickAndHelp, DocumentsOpenWithTheirPathWholeAndFailuresAreReported)
{
    ASSERT_EQ(SetUpPaths(), 0);
    const std::string base = TempFolder() + "\\Program Folder\\", record = base + "record.txt";
    const std::string recorder = std::string("\"") + ProgramFolder + "record_command_line.exe\" \"%1\"";
    const std::string missing = "\"" + base + "missing.exe\" \"%1\"";
    const std::vector<std::pair<std::string, std::string>> classes = {
        {".htm", "OmbrelaneTest"}, {".txt", "OmbrelaneTest"}, {"OmbrelaneTest\\shell\\open\\command", recorder},
        {"https\\shell\\open\\command", missing}, {"mailto\\shell\\open\\command", missing}};
    for (const auto& [key, value] : classes)
        RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(), value.size());
    snprintf(ProgramFolder, sizeof ProgramFolder, "%s", base.c_str());
    SetEnvironmentVariableA("OMBRELANE_RECORD_FILE", record.c_str());
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA((base + "help").c_str(), nullptr);
    const std::pair<void (*)(HWND), const char*> documents[] = {{OpenHelpDocument, "help\\Ombrelane.htm"},
                                                                {OpenWhatsNew, "whatsnew.txt"}};
    for (const auto& [command, name] : documents) {
        WriteWholeFile(base + name, "document");
        Drive(command, {});
        EXPECT_EQ(SeenWindows(), "");
        EXPECT_TRUE(PumpUntil([&] { return !ReadWholeFile(record).empty(); }, 30000));
        const std::string started = ReadWholeFile(record);
        EXPECT_TRUE(started.starts_with("argc=2\n") && started.ends_with("\nargv[1]=" + base + name + "\n")) << started;
        DeleteFileA((base + name).c_str());
        DeleteFileA(record.c_str());
        Drive(command, {});
        EXPECT_EQ(SeenWindows(), "Ombrelane|Couldn't find: " + base + name + "\n");
    }
    Drive(ShowAboutBox, {[](HWND about) {
                             EXPECT_TRUE(WindowText(GetDlgItem(about, IDC_ABOUT_TEXT)).starts_with("Ombrelane 1.23\n"));
                             Click(about, {IDC_ABOUT_WEB_PAGE, IDC_ABOUT_EMAIL});
                             EXPECT_TRUE(IsWindowVisible(about));
                             Click(about, {IDC_ABOUT_OK});
                         }});
    EXPECT_EQ(SeenWindows(), "About Ombrelane|\n"
                             "Visit Corvale|Couldn't visit \"https://www.rfc-editor.org/rfc/rfc1288\"\n"
                             "E-mail Corvale|Couldn't visit \"mailto:?subject=Ombrelane%201.23\"\n");
    RemoveFolderTree(base);
}

}
