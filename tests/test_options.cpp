// The options dialogs driven through their controls, and the Startup shortcut
// they leave behind.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <deque>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "entries/settings.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"
#include "ui/options_dialog.h"

namespace {

// Each box or dialog that becomes active gets the next step, once; with no
// step left it is closed.
using Step = std::function<void(HWND)>;
std::deque<Step> steps;
std::string answered;  // "caption|text" of every box answered, one a line

void CALLBACK RunNextStep(HWND, UINT, UINT_PTR, DWORD)
{
    HWND active = GetActiveWindow();
    if (!IsWindowVisible(active) || GetPropA(active, "stepped"))
        return;
    SetPropA(active, "stepped", active);
    Step step = steps.empty() ? Step([](HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }) : steps.front();
    if (!steps.empty())
        steps.pop_front();
    step(active);
}

void Click(HWND dialog, const std::vector<int>& ids)
{
    for (int id : ids)
        SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

const Step AnswerBox = [](HWND box) {
    answered += WindowText(box) + "|" + WindowText(GetDlgItem(box, 0xFFFF)) + "\n";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
};

bool Enabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}

// The shortcut's show command (0: no shortcut), read from its header: Wine's
// link object reports every loaded link as shown normally.
int ShortcutShowCommand(const std::string& path, const char* target)
{
    const std::string bytes = ReadWholeFile(path);
    EXPECT_EQ(bytes.find(target) != std::string::npos, bytes.size() > 64);
    return bytes.size() > 64 ? *reinterpret_cast<const int32_t*>(&bytes[60]) : 0;
}

struct OptionsTest : ::testing::Test {
    std::string folder = TempFolder();

    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);  // the program's start-up does this for the main thread
        InitCommonControls();
        SetTimer(nullptr, 0, 20, RunNextStep);
    }
    void SetUp() override
    {
        StartTestProgram({.simulate = false, .startTaskThread = false});
        lstrcpynA(Settings.startupFolder, folder.c_str(), PATH_SIZE);
    }
    void TearDown() override { StopTestProgram(); }
};

TEST_F(OptionsTest, TheAdvancedFieldsAreCheckedInOrderAndARefusalKeepsTheDialogOpenWithEarlierFieldsStored)
{
    const std::string changed = "Changes to Memory Allocation|The changes to allocated memory will take effect after"
                                "\nOmbrelane is next started.\n",
        browser = "Invalid User Browser|Please enter the location of a valid browser program.\n",
        memory = "Incorrect Memory Allocation Amount|Please enter an amount of memory between 16 and 1024 KBytes.\n",
        number = "Invalid Number|Please enter a valid number between 16 and 1024.\n",
        limit = "Invalid Network Time Limit|Please enter a network time limit between 1 and 3600 seconds.\n";
    constexpr uint32_t N = OPT_NETWORK, U = OPT_USER_BROWSER;
    constexpr int SIMULATE = IDC_ADV_SIMULATE_NETWORK, USER = IDC_ADV_USER_BROWSER;
    // Buffer size and time limit typed, options before, boxes clicked, browser typed; the result (-1: OK left the
    // dialog open), boxes, size for the next start, time limit and options stored.
    const std::tuple<const char*, const char*, uint32_t, std::vector<int>, const char*, int, std::string, uint32_t,
                     uint32_t, uint32_t> cases[] = {
        {"16", "30", N, {}, "", 0, changed, 16384, 30, N},
        {"1024", "3600", N, {SIMULATE}, "", 0, changed, 1048576, 3600, 0},
        {"64", "1", 0, {SIMULATE}, "", 0, "", 65536, 1, N},
        {"64", "1", N | U, {IDC_ADV_DEFAULT_BROWSER}, "", 0, "", 65536, 1, N},
        {"64", "1", N, {USER}, "b.exe", 0, "", 65536, 1, N | U},
        {"15", "45", N, {SIMULATE, USER}, "", -1, browser, 65536, 60, 0},
        {"15", "45", N, {}, "", -1, memory, 65536, 45, N}, {"1025", "45", N, {}, "", -1, memory, 65536, 45, N},
        {"", "45", N, {}, "", -1, number, 65536, 45, N},   {"16", "0", N, {}, "", -1, limit, 65536, 60, N},
        {"16", "3601", N, {}, "", -1, limit, 65536, 60, N}, {"16", "", N, {}, "", -1, limit, 65536, 60, N}};
    lstrcpynA(Settings.whoisServer, "old.example", WHOIS_HOST_SIZE);
    for (const auto& [size, seconds, before, clicks, path, result, boxes, saved, stored, after] : cases) {
        Settings.options = before;
        Settings.maxAllocSizeSaved = 65536;
        Settings.networkTimeout = 60;
        answered.clear();
        steps = {[&](HWND dialog) {
            EXPECT_EQ(AdvancedOptionsDialog(dialog), 1);
            EXPECT_EQ(GetDlgItemInt(dialog, IDC_ADV_BUFFER_SIZE, nullptr, FALSE), 64u);
            EXPECT_EQ(GetDlgItemInt(dialog, IDC_ADV_NETWORK_TIMEOUT, nullptr, FALSE), 60u);
            EXPECT_EQ(IsDlgButtonChecked(dialog, SIMULATE) != 0, !(before & N));
            EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_ADV_WHOIS_SERVER)), Settings.whoisServer);
            SetDlgItemTextA(dialog, IDC_ADV_WHOIS_SERVER, "");
            SetDlgItemTextA(dialog, IDC_ADV_BUFFER_SIZE, size);
            SetDlgItemTextA(dialog, IDC_ADV_NETWORK_TIMEOUT, seconds);
            SetDlgItemTextA(dialog, IDC_ADV_BROWSER_PATH, path);
            Click(dialog, clicks);
            const bool user = IsDlgButtonChecked(dialog, USER);
            EXPECT_EQ(Enabled(dialog, IDC_ADV_BROWSER_PATH) && Enabled(dialog, IDC_ADV_BROWSER_BROWSE), user);
            Click(dialog, {IDC_ADV_OK});
            PostMessageA(dialog, WM_COMMAND, IDC_ADV_CANCEL, 0);
        }, AnswerBox};
        EXPECT_EQ(AdvancedOptionsDialog(ShellHandles.mainWindow), result) << size << " " << seconds;
        EXPECT_EQ(answered, boxes);
        EXPECT_EQ(Settings.maxAllocSizeSaved, saved);
        EXPECT_EQ(Settings.networkTimeout, stored);
        EXPECT_EQ(Settings.options, after);
        EXPECT_STREQ(Settings.whoisServer, DEFAULT_WHOIS_SERVER);
        EXPECT_STREQ(Settings.userBrowser, path);
    }
}

TEST_F(OptionsTest, OkStoresTheBoxesAndTheSplitAndKeepsTheStartupShortcutInStep)
{
    const std::string link = folder + "\\Ombrelane.lnk";
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    constexpr uint32_t kept = OPT_LOGGING | OPT_HIDE_WHEN_MINIMISED | OPT_AUTO_HTML, starts = OPT_START_WITH_WINDOWS;
    // The Startup folder, the boxes clicked, the split chosen, the button that leaves (0: the close box), and the
    // result, options, split change and the shortcut's show command (0: none).
    const std::tuple<std::string, std::vector<int>, int, int, int, uint32_t, bool, int> cases[] = {
        {folder, {IDC_OPT_START_WITH_WINDOWS, IDC_OPT_START_MINIMISED, IDC_OPT_LOGGING, IDC_OPT_HIDE_WHEN_MINIMISED,
                IDC_OPT_AUTO_HTML}, 7, IDC_OPT_OK, 0, kept | starts | OPT_START_MINIMISED, true, SW_SHOWMINNOACTIVE},
        {folder, {IDC_OPT_START_MINIMISED}, 7, IDC_OPT_OK, 0, kept | starts, false, SW_SHOWNORMAL},
        {folder, {IDC_OPT_START_WITH_WINDOWS}, 2, 0, -1, kept | starts, false, SW_SHOWNORMAL},
        {folder, {IDC_OPT_LOGGING}, 2, IDC_OPT_CANCEL, -1, kept | starts, false, SW_SHOWNORMAL},
        {folder, {IDC_OPT_START_WITH_WINDOWS}, 7, IDC_OPT_OK, 0, kept, false, 0},
        {"", {IDC_OPT_START_WITH_WINDOWS}, 7, IDC_OPT_OK, 0, kept | starts, false, 0}};
    Settings.options = 0;
    for (const auto& [startup, clicks, split, button, result, options, splitChanged, show] : cases) {
        lstrcpynA(Settings.startupFolder, startup.c_str(), PATH_SIZE);
        steps = {[&](HWND dialog) {
            bool again = true;
            EXPECT_EQ(OptionsDialog(dialog, again) + again, 1);
            EXPECT_EQ(Enabled(dialog, IDC_OPT_START_MINIMISED), (Settings.options & starts) != 0);
            const bool logs = Settings.options & OPT_LOGGING;
            EXPECT_EQ(Enabled(dialog, IDC_OPT_LOG_FILE) && Enabled(dialog, IDC_OPT_LOG_BROWSE), logs);
            SetDlgItemTextA(dialog, IDC_OPT_LOG_FILE, result == 0 ? "kept.txt" : "dropped.txt");
            SendDlgItemMessageA(dialog, IDC_OPT_DISPLAY_SPLIT, TBM_SETPOS, TRUE, split);
            Click(dialog, clicks);
            PostMessageA(dialog, button ? WM_COMMAND : WM_SYSCOMMAND, button ? button : SC_CLOSE, 0);
        }};
        bool changed = !splitChanged;
        EXPECT_EQ(OptionsDialog(ShellHandles.mainWindow, changed), result);
        EXPECT_EQ(Settings.options, options);
        EXPECT_EQ(changed, splitChanged);
        EXPECT_EQ(ShortcutShowCommand(link, program), show);
        EXPECT_STREQ(Settings.logFile, "kept.txt");
    }
    EXPECT_EQ(Settings.DisplaySplit, 7);
    EXPECT_EQ(GetFileAttributesA("\\Ombrelane.lnk"), INVALID_FILE_ATTRIBUTES);
}

}
