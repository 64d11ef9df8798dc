// Print jobs of the output pane, one case a run: tests/printing.sh reads back the PDFs, each case what was shown.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "output/output_window.h"
#include "output/print_output.h"
#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

struct Watch {
    bool cancelOnSight;  // cancels the job as soon as it shows its window
    HWND cancelWindow;
    std::string met;  // "caption|text" of every other dialog, each answered with OK
} watch;

// Dialogs are looked at as they become active, before they take a message.
LRESULT CALLBACK WatchDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    auto window = reinterpret_cast<HWND>(wParam);
    char name[16] = "";
    if (code == HCBT_ACTIVATE && GetClassNameA(window, name, sizeof name) && !lstrcmpA(name, "#32770")) {
        if (WindowText(window) == "Ombrelane Printing") {
            watch.cancelWindow = window;
            if (watch.cancelOnSight)
                PostMessageA(window, WM_COMMAND, IDC_PRINT_CANCEL, 0);
        } else {
            HWND text = GetDlgItem(window, 0xFFFF);
            watch.met += WindowText(window) + "|" + (text ? WindowText(text) : "") + "\n";
            PostMessageA(window, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A 24-point heading, a paragraph that wraps, a word longer than a line, 150 numbered lines; 040 to 045 selected.
void FillPane()
{
    FingerEntry* heading = AddTestEntry("heading", "h");
    heading->points = 240;
    AppendEntryText(heading, "Big heading\r\n");
    std::string text;
    char piece[32];
    for (int i = 1; i <= 60; ++i)
        text += (snprintf(piece, sizeof piece, "w%02d ", i), piece);
    text += "\r\n" + std::string(200, 'X') + "\r\n";
    for (int i = 1; i <= 150; ++i)
        text += (snprintf(piece, sizeof piece, "Line %03d\r\n", i), piece);
    AppendEntryText(AddTestEntry("body", "b"), text.c_str());
    FINDTEXTEXA first = {{0, -1}, "Line 040", {}};
    FINDTEXTEXA last = {{0, -1}, "Line 045", {}};
    SendMessageA(OutputWindow, EM_FINDTEXTEX, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageA(OutputWindow, EM_FINDTEXTEX, 0, reinterpret_cast<LPARAM>(&last));
    CHARRANGE selection = {first.chrgText.cpMin, last.chrgText.cpMax};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
}

// PrintRichText on the default printer or on a DC that is no printer, or PrintOutput through the print dialog.
enum How { DIRECT, CANCELLED, DIALOG, EMPTY_DIALOG, NO_PRINTER };

struct PrintCase {
    const char* name;
    How how;
    DWORD flags;
    WORD copies, from, to;
    std::string boxes;  // the print dialog and the boxes shown; a box after it says the job failed
};

const PrintCase cases[] = {
    {"Pages", DIRECT, 0, 1, 0, 0, ""},
    {"UncollatedCopies", DIRECT, 0, 3, 0, 0, ""},
    {"PageRange", DIRECT, PD_PAGENUMS, 1, 2, 3, ""},
    {"Selection", DIRECT, PD_SELECTION, 1, 0, 0, ""},
    {"Cancel", CANCELLED, 0, 1, 0, 0, ""},
    {"CollatedThroughTheDialog", DIALOG, PD_COLLATE, 2, 0, 0, "Print|\n"},
    {"EmptyPaneThroughTheDialog", EMPTY_DIALOG, 0, 1, 0, 0, "Print|\n"},
    {"RefusedJob", DIRECT, 0, 1, 0, 0, "Print|The print job failed before it was finished.\n"},
    {"RangeBeyondTheOutput", DIRECT, PD_PAGENUMS, 1, 9, 12, "Print|The output has no pages in the range chosen.\n"},
    {"StartFails", NO_PRINTER, 0, 1, 0, 0, "Print|Couldn't start a print job.\n"},
};

struct Print : ::testing::TestWithParam<PrintCase> {};

TEST_P(Print, Job)
{
    const PrintCase& test = GetParam();
    StartTestProgram({true, false});
    HHOOK hook = SetWindowsHookExA(WH_CBT, WatchDialogs, nullptr, GetCurrentThreadId());
    watch = {test.how == CANCELLED, nullptr, ""};
    if (test.how != EMPTY_DIALOG)
        FillPane();
    InitPrintSetup(ShellHandles.mainWindow);
    PRINTDLGA& pd = PrintSetup;
    if (test.how == DIRECT || test.how == CANCELLED) {
        pd.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
        EXPECT_TRUE(PrintDlgA(&pd)) << "no default printer: " << std::hex << CommDlgExtendedError();
        pd.Flags = PD_RETURNDC;
    }
    pd.Flags |= test.flags;
    pd.nCopies = test.copies;
    pd.nFromPage = test.from;
    pd.nToPage = test.to;
    if (test.how == DIALOG || test.how == EMPTY_DIALOG) {
        PrintOutput(ShellHandles.mainWindow);
    } else {
        const HDC dc = pd.hDC = test.how == NO_PRINTER ? CreateCompatibleDC(nullptr) : pd.hDC;
        EXPECT_EQ(PrintRichText(pd), test.boxes.empty() ? 0 : 1);
        EXPECT_EQ(GetObjectType(dc), 0u);
    }
    EXPECT_EQ(watch.met, test.boxes);
    EXPECT_FALSE(IsWindow(watch.cancelWindow));
    FreePrintSetup();
    UnhookWindowsHookEx(hook);
    StopTestProgram();
}

INSTANTIATE_TEST_SUITE_P(Cases, Print, ::testing::ValuesIn(cases), [](const auto& info) { return info.param.name; });

}
