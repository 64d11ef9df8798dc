// The options dialogs driven through their controls, and the Startup shortcut they leave behind.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "entries/settings.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/dialog_steps.h"
#include "support/program_test.h"
#include "support/test_windows.h"
#include "ui/options_dialog.h"

namespace {

bool Enabled(HWND dialog, const std::vector<int>& ids)
{
    return std::ranges::all_of(ids, [&](int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; });
}

// The shortcut's show command (0: none), read from its header: Wine's link object reports every link as shown normally.
int ShortcutShowCommand(const std::string& path)
{
    const std::string bytes = ReadWholeFile(path);
    EXPECT_EQ(bytes.find("\\test_options.exe") != std::string::npos, bytes.size() > 64);
    return bytes.size() > 64 ? *reinterpret_cast<const int32_t*>(&bytes[60]) : 0;
}

struct OptionsTest : ProgramFixture<TestProgramOptions{.simulate = false, .startTaskThread = false}> {
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);  // the program's start-up does this for the main thread
        InitCommonControls();
    }
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
    constexpr int SIMULATE = IDC_ADV_SIMULATE_NETWORK, USER = IDC_ADV_USER_BROWSER, DEFAULT = IDC_ADV_DEFAULT_BROWSER;
    // Size and limit typed, options, clicks, browser typed; result (-1: OK refused), boxes, next size, limit, options.
    const std::tuple<const char*, const char*, uint32_t, std::vector<int>, const char*, int, std::string, uint32_t,
                     uint32_t, uint32_t> cases[] = {
        {"16", "30", N, {}, "", 0, changed, 16384, 30, N},     {"64", "1", 0, {SIMULATE}, "", 0, "", 65536, 1, N},
        {"1024", "3600", N, {SIMULATE}, "", 0, changed, 1048576, 3600, 0},
        {"64", "1", N | U, {DEFAULT}, "", 0, "", 65536, 1, N}, {"64", "1", N, {USER}, "b.exe", 0, "", 65536, 1, N | U},
        {"15", "45", N, {SIMULATE, USER}, "", -1, browser, 65536, 60, 0},
        {"15", "45", N, {}, "", -1, memory, 65536, 45, N},     {"1025", "45", N, {}, "", -1, memory, 65536, 45, N},
        {"", "45", N, {}, "", -1, number, 65536, 45, N},       {"16", "0", N, {}, "", -1, limit, 65536, 60, N},
        {"16", "3601", N, {}, "", -1, limit, 65536, 60, N},    {"16", "", N, {}, "", -1, limit, 65536, 60, N}};
    lstrcpynA(Settings.whoisServer, "old.example", WHOIS_HOST_SIZE);
    for (const auto& [size, seconds, before, clicks, path, result, boxes, saved, stored, after] : cases) {
        Settings.options = before;
        Settings.maxAllocSizeSaved = 65536;
        Settings.networkTimeout = 60;
        SetSteps({[&](HWND dialog) {
            EXPECT_EQ(AdvancedOptionsDialog(dialog), 1);
            EXPECT_EQ(GetDlgItemInt(dialog, IDC_ADV_BUFFER_SIZE, nullptr, FALSE), 64u);
            EXPECT_EQ(GetDlgItemInt(dialog, IDC_ADV_NETWORK_TIMEOUT, nullptr, FALSE), 60u);
            EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_ADV_WHOIS_SERVER)), Settings.whoisServer);
            SetDlgItemTextA(dialog, IDC_ADV_WHOIS_SERVER, "");
            SetDlgItemTextA(dialog, IDC_ADV_BUFFER_SIZE, size);
            SetDlgItemTextA(dialog, IDC_ADV_NETWORK_TIMEOUT, seconds);
            SetDlgItemTextA(dialog, IDC_ADV_BROWSER_PATH, path);
            Click(dialog, clicks);
            const bool user = IsDlgButtonChecked(dialog, USER);
            EXPECT_EQ(Enabled(dialog, {IDC_ADV_BROWSER_PATH, IDC_ADV_BROWSER_BROWSE}), user);
            Leave(dialog, IDC_ADV_OK);
            PostMessageA(dialog, WM_COMMAND, IDC_ADV_CANCEL, 0);
        }});
        EXPECT_EQ(AdvancedOptionsDialog(ShellHandles.mainWindow), result) << size << " " << seconds;
        EXPECT_EQ(SeenWindows(), "Advanced Options|\n" + boxes);
        EXPECT_EQ(std::tie(Settings.maxAllocSizeSaved, Settings.networkTimeout, Settings.options, Settings.userBrowser),
                  std::tuple(saved, stored, after, std::string(path)));
        EXPECT_STREQ(Settings.whoisServer, DEFAULT_WHOIS_SERVER);
    }
}

TEST_F(OptionsTest, OkStoresTheBoxesAndTheSplitAndKeepsTheStartupShortcutInStep)
{
    const std::string folder = TempFolder(), link = folder + "\\Ombrelane.lnk";
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
        SetSteps({[&](HWND dialog) {
            bool again = true;
            EXPECT_EQ(OptionsDialog(dialog, again) + again, 1);
            EXPECT_EQ(Enabled(dialog, {IDC_OPT_START_MINIMISED}), (Settings.options & starts) != 0);
            EXPECT_EQ(Enabled(dialog, {IDC_OPT_LOG_FILE, IDC_OPT_LOG_BROWSE}), (Settings.options & OPT_LOGGING) != 0);
            SetDlgItemTextA(dialog, IDC_OPT_LOG_FILE, result == 0 ? "kept.txt" : "dropped.txt");
            SendDlgItemMessageA(dialog, IDC_OPT_DISPLAY_SPLIT, TBM_SETPOS, TRUE, split);
            Leave(dialog, button, clicks);
        }});
        bool changed = !splitChanged;
        EXPECT_EQ(OptionsDialog(ShellHandles.mainWindow, changed), result);
        EXPECT_EQ(std::tuple(Settings.options, changed, ShortcutShowCommand(link)),
                  std::tuple(options, splitChanged, show));
        EXPECT_STREQ(Settings.logFile, "kept.txt");
    }
    EXPECT_EQ(Settings.DisplaySplit, 7);
    EXPECT_EQ(GetFileAttributesA("\\Ombrelane.lnk"), INVALID_FILE_ATTRIBUTES);
}

}
