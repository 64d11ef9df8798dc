#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "entries/settings.h"
#include "shell/shell_handles.h"
#include "shell/toolbar.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

// The built-in layout as command ids, 0 for a separator.
const std::vector<int> DEFAULT_IDS = {
    40017, 40004, 40003, 0, 40020, 40021, 0, 40058, 0, 40010, 40011, 40012, 40013,
    40123, 0, 40023, 40027, 40038, 40039, 0, 40025, 40053, 40081, 40083, 0, 40095,
};

constexpr char UNKNOWN_TITLE[] = "Unknown Toolbar Buttons Found";
constexpr char UNKNOWN_TEXT[] =
    "Ombrelane has found unrecognised toolbar buttons in the registry.\n"
    "It will reset them to the default ones. This is probably due to\n"
    "running pre-release versions of Ombrelane, followed by the release\n"
    "versions. Nothing to worry about!";

// The customise dialog's own controls.
constexpr int AVAILABLE_LIST = 201;
constexpr int RESET_BUTTON = 202;
constexpr int CURRENT_LIST = 203;

// Answers the toolbar's notifications the way the main window does.
WNDPROC TestWindowProcedure;

LRESULT CALLBACK ToolbarParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (message == WM_NOTIFY && OnToolbarNotify(reinterpret_cast<NMHDR*>(lParam), &result))
        return result;
    return CallWindowProcA(TestWindowProcedure, window, message, wParam, lParam);
}

class ToolbarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartTestProgram({.simulate = true, .startTaskThread = false});
        TestWindowProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            ShellHandles.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ToolbarParentProcedure)));
    }
    void TearDown() override
    {
        StopAnsweringBoxes();
        StopTestProgram();
        ShellHandles.toolbar = nullptr;
    }

    void SaveLayout(const std::vector<int>& ids)
    {
        Settings.toolbarCount = static_cast<int32_t>(ids.size());
        for (size_t i = 0; i < ids.size(); ++i)
            Settings.SavedToolbarLayout[i] = ids[i];
    }

    std::vector<int> SavedIds() const
    {
        return std::vector<int>(Settings.SavedToolbarLayout, Settings.SavedToolbarLayout + Settings.toolbarCount);
    }
};

int ButtonCount(HWND toolbar)
{
    return static_cast<int>(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
}

TBBUTTON Button(HWND toolbar, int index)
{
    TBBUTTON button = {};
    EXPECT_TRUE(SendMessageA(toolbar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)));
    return button;
}

std::vector<int> ButtonIds(HWND toolbar)
{
    std::vector<int> ids;
    for (int i = 0; i < ButtonCount(toolbar); ++i)
        ids.push_back(Button(toolbar, i).idCommand);
    return ids;
}

std::string Tooltip(UINT_PTR commandId, int size = 80)
{
    std::vector<char> text(static_cast<size_t>(size) + 8, '#');
    GetToolbarTooltip(text.data(), size, commandId);
    return text.data();
}

// Asks the toolbar's own tooltip control for the text of a button, which
// makes it ask the main window.
std::string ControlTooltip(HWND toolbar, int commandId)
{
    HWND tooltips = reinterpret_cast<HWND>(SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0));
    if (!tooltips)
        return "(no tooltip control)";
    char text[128] = "";
    TOOLINFOA tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = toolbar;
    tool.uId = static_cast<UINT_PTR>(commandId);
    tool.lpszText = text;
    SendMessageA(tooltips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    return text;
}

TEST_F(ToolbarTest, FirstStartShowsTheDefaultLayoutFlatFromVersion470)
{
    ASSERT_EQ(Settings.toolbarCount, -1);
    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(ShellHandles.toolbar, toolbar);
    EXPECT_EQ(GetParent(toolbar), ShellHandles.mainWindow);
    EXPECT_EQ(ButtonIds(toolbar), DEFAULT_IDS);
    for (int i = 0; i < ButtonCount(toolbar); ++i) {
        TBBUTTON button = Button(toolbar, i);
        EXPECT_EQ(button.fsStyle, DEFAULT_IDS[static_cast<size_t>(i)] == 0 ? BTNS_SEP : BTNS_BUTTON) << i;
        EXPECT_TRUE(button.fsState & TBSTATE_ENABLED) << i;
    }
    RECT first = {};
    ASSERT_TRUE(SendMessageA(toolbar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first)));
    EXPECT_EQ(ToolbarHeight, first.bottom + 5);

    // Flat buttons need common controls 4.70; a missing library or one
    // without a version function counts as older.
    EXPECT_EQ(MainToolbarStyle(0x00040045) & TBSTYLE_FLAT, 0u);
    EXPECT_EQ(MainToolbarStyle(0x00040046) & TBSTYLE_FLAT, static_cast<DWORD>(TBSTYLE_FLAT));
    EXPECT_EQ(ComCtlVersion("no-such-library.dll"), 0u);
    EXPECT_EQ(ComCtlVersion("kernel32.dll"), 0u);
    EXPECT_GE(ComCtlVersion("comctl32.dll"), 0x00040046u);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(toolbar, GWL_STYLE)), MainToolbarStyle(0x00040046));
}

TEST_F(ToolbarTest, ImagesComeFromTheThreeStrips)
{
    // Made twice: the second toolbar must get the same images as the first.
    for (int round = 0; round < 2; ++round) {
        Settings.toolbarCount = -1;
        HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
        ASSERT_NE(toolbar, nullptr);
        HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0));
        ASSERT_NE(images, nullptr);
        EXPECT_EQ(ImageList_GetImageCount(images), 15 + 12 + 16);
        EXPECT_EQ(Button(toolbar, 0).iBitmap, 0 + STD_FILENEW);
        EXPECT_EQ(Button(toolbar, 12).iBitmap, 15 + VIEW_DETAILS);
        EXPECT_EQ(Button(toolbar, 13).iBitmap, 27 + 15);  // jump to last output
        EXPECT_EQ(Button(toolbar, 25).iBitmap, 27 + 11);  // help
        DestroyWindow(toolbar);
    }
}

// Draws one image on two different backgrounds: true where the pixel shows
// the background both times.
bool Transparent(HIMAGELIST images, int image, int x, int y)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ previous = SelectObject(memory, canvas);
    bool transparent = true;
    for (COLORREF background : {RGB(255, 0, 255), RGB(0, 128, 255)}) {
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, 16, 16};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        ImageList_Draw(images, image, memory, 0, 0, ILD_NORMAL);
        transparent = transparent && GetPixel(memory, x, y) == background;
    }
    SelectObject(memory, previous);
    DeleteObject(canvas);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return transparent;
}

TEST_F(ToolbarTest, OwnImagesHaveATransparentBackground)
{
    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0));
    ASSERT_NE(images, nullptr);
    for (int image = 27; image < 27 + 16; ++image) {
        EXPECT_TRUE(Transparent(images, image, 0, 0)) << image;
        EXPECT_TRUE(Transparent(images, image, 15, 0)) << image;
    }
    // The finger's skin and the kill button's centre are drawn.
    EXPECT_FALSE(Transparent(images, 27, 6, 5));
    EXPECT_FALSE(Transparent(images, 27 + 9, 8, 8));
}

TEST_F(ToolbarTest, SavedLayoutIsRebuiltExactly)
{
    const std::vector<int> saved = {40085, 0, 40086, 40087, 0, 0, 40099, 40102, 40055, 40023, 40123};
    SaveLayout(saved);
    BoxAnswerer answerer("", IDOK);
    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(AnsweredBoxCount(), 0);
    EXPECT_EQ(ButtonIds(toolbar), saved);
    EXPECT_EQ(Button(toolbar, 1).fsStyle, BTNS_SEP);
    EXPECT_EQ(Button(toolbar, 0).iBitmap, 27 + 4);

    // Saving and loading again gives the same buttons.
    Settings.toolbarCount = -1;
    SaveToolbarButtons();
    EXPECT_EQ(SavedIds(), saved);
    LoadToolbarButtons(toolbar);
    EXPECT_EQ(ButtonIds(toolbar), saved);
}

TEST_F(ToolbarTest, UnknownSavedIdGivesTheMessageAndTheDefaultLayout)
{
    SaveLayout({40017, 40003, 39999, 40004});
    BoxAnswerer answerer("", IDOK);
    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);

    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, UNKNOWN_TITLE);
    EXPECT_EQ(boxes[0].text, UNKNOWN_TEXT);
    EXPECT_EQ(boxes[0].owner, ShellHandles.mainWindow);
    EXPECT_EQ(ButtonIds(toolbar), DEFAULT_IDS);

    SaveToolbarButtons();
    EXPECT_EQ(Settings.toolbarCount, 26);
    EXPECT_EQ(SavedIds(), DEFAULT_IDS);
}

TEST_F(ToolbarTest, EmptyLayoutStaysEmpty)
{
    SaveLayout({});
    BoxAnswerer answerer("", IDOK);
    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(AnsweredBoxCount(), 0);
    EXPECT_EQ(ButtonCount(toolbar), 0);
    // The layout still leaves room for a row of buttons.
    const int emptyHeight = ToolbarHeight;
    DestroyWindow(toolbar);
    Settings.toolbarCount = -1;
    toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    EXPECT_EQ(emptyHeight, ToolbarHeight);

    // A toolbar customised down to nothing is saved as 0 buttons.
    while (ButtonCount(toolbar) > 0)
        SendMessageA(toolbar, TB_DELETEBUTTON, 0, 0);
    SaveToolbarButtons();
    EXPECT_EQ(Settings.toolbarCount, 0);
    Settings.SavedToolbarLayout[0] = 40017;
    LoadToolbarButtons(toolbar);
    EXPECT_EQ(ButtonCount(toolbar), 0);
}

TEST_F(ToolbarTest, AtMost128ButtonsAreSavedAndLoaded)
{
    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);
    std::vector<int> expected = DEFAULT_IDS;
    for (int i = 0; i < 130; ++i) {
        TBBUTTON button = {};
        button.iBitmap = 27;
        button.idCommand = i % 2 ? 40099 : 0;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = i % 2 ? BTNS_BUTTON : BTNS_SEP;
        SendMessageA(toolbar, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&button));
        expected.push_back(button.idCommand);
    }
    ASSERT_EQ(ButtonCount(toolbar), 26 + 130);
    SaveToolbarButtons();
    EXPECT_EQ(Settings.toolbarCount, TOOLBAR_MAX);
    expected.resize(TOOLBAR_MAX);
    EXPECT_EQ(SavedIds(), expected);

    // A count beyond the stored list reads no further than the list.
    Settings.toolbarCount = 1000;
    LoadToolbarButtons(toolbar);
    EXPECT_EQ(ButtonIds(toolbar), expected);
}

TEST_F(ToolbarTest, SavingWithoutAToolbarKeepsTheSavedLayout)
{
    SaveLayout({40023, 0, 40027});
    ShellHandles.toolbar = nullptr;
    SaveToolbarButtons();
    EXPECT_EQ(SavedIds(), (std::vector<int>{40023, 0, 40027}));

    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);
    DestroyWindow(toolbar);
    SaveToolbarButtons();
    EXPECT_EQ(SavedIds(), (std::vector<int>{40023, 0, 40027}));
}

struct CustomiseVisit {
    int availableCount = -1;
    int currentCount = -1;
    std::vector<int> idsAfterReset;
    bool done = false;
};
CustomiseVisit Visit;

void CALLBACK PressResetAndClose(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowA("#32770", "Customize Toolbar");
    if (!dialog || Visit.done)
        return;
    Visit.done = true;
    KillTimer(nullptr, timer);
    Visit.availableCount = static_cast<int>(SendDlgItemMessageA(dialog, AVAILABLE_LIST, LB_GETCOUNT, 0, 0));
    Visit.currentCount = static_cast<int>(SendDlgItemMessageA(dialog, CURRENT_LIST, LB_GETCOUNT, 0, 0));
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(RESET_BUTTON, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, RESET_BUTTON)));
    Visit.idsAfterReset = ButtonIds(ShellHandles.toolbar);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

TEST_F(ToolbarTest, CustomiseDialogOffersTheTableAndResets)
{
    SaveLayout({});
    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);
    Visit = {};
    SetTimer(nullptr, 0, 50, PressResetAndClose);
    CustomizeToolbar();
    ASSERT_TRUE(Visit.done);
    // The dialog's own separator and all 27 table entries, none of them on
    // the empty toolbar.
    EXPECT_EQ(Visit.availableCount, 28);
    // Only the dialog's closing separator.
    EXPECT_EQ(Visit.currentCount, 1);
    EXPECT_EQ(Visit.idsAfterReset, DEFAULT_IDS);
    EXPECT_EQ(ButtonIds(toolbar), DEFAULT_IDS);
    // A second reset gives the same buttons, not a second set.
    ResetToolbarButtons(toolbar);
    EXPECT_EQ(ButtonIds(toolbar), DEFAULT_IDS);
}

TEST_F(ToolbarTest, TooltipsAndButtonInfoFollowTheGroupNames)
{
    EXPECT_EQ(Tooltip(40017), "New finger entry");
    EXPECT_EQ(Tooltip(40085), "Finger Group #1");
    EXPECT_EQ(Tooltip(0), "Separator");
    EXPECT_EQ(Tooltip(40125), "Unknown button id");
    EXPECT_EQ(Tooltip(1), "Unknown button id");
    EXPECT_EQ(Tooltip(40017, 4), "New");

    HWND toolbar = CreateMainToolbar(ShellHandles.mainWindow);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(ControlTooltip(toolbar, 40038), "Finger Mail");
    snprintf(Settings.groupNames[2], sizeof Settings.groupNames[2], "%s", "Night shift");
    snprintf(Settings.groupNames[0], sizeof Settings.groupNames[0], "%s", "Letters");
    EXPECT_EQ(Tooltip(40085), "Night shift");
    EXPECT_EQ(ControlTooltip(toolbar, 40038), "Letters");

    // The customise dialog's list: the table's entries, their text cut to the
    // notification's buffer, a group with its live name.
    snprintf(Settings.groupNames[3], sizeof Settings.groupNames[3], "%s", "Weekend crew");
    NMTOOLBARA group = {};
    char small[6];
    group.iItem = 16;
    group.pszText = small;
    group.cchText = sizeof small;
    ASSERT_TRUE(GetToolbarButtonInfo(&group));
    EXPECT_STREQ(small, "Weeke");
    EXPECT_EQ(group.tbButton.idCommand, 40086);
    EXPECT_EQ(group.tbButton.fsStyle, BTNS_BUTTON);
    NMTOOLBARA past = {};
    past.iItem = 27;
    EXPECT_FALSE(GetToolbarButtonInfo(&past));
    past.iItem = -1;
    EXPECT_FALSE(GetToolbarButtonInfo(&past));
}

}  // namespace
