#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "jobs/task_thread.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

class OutputWindowTest : public ::testing::Test {
protected:
    void SetUp() override { StartTestProgram({.simulate = true, .startTaskThread = false}); }
    void TearDown() override { StopTestProgram(); }
};

// Writes one block for an entry as a job does.
void WriteBlock(FingerEntry* entry, const std::string& text)
{
    BeginEntryOutput(entry);
    AppendEntryText(entry, text.c_str());
    EndEntryOutput(entry);
}

// Paragraph ends read back as CR, LF or CR LF depending on the control's version.
std::string Normalised(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string PaneRange(int32_t start, int32_t end)
{
    std::string text(static_cast<size_t>(end - start) + 1, '\0');
    TEXTRANGEA range = {{start, end}, text.data()};
    SendMessageA(OutputWindow, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(strlen(text.c_str()));
    return Normalised(text);
}

TEST_F(OutputWindowTest, EntryTextTakesTheEntryFormat)
{
    FingerEntry* entry = AddTestEntry("Styled", "a@b");
    entry->colour = RGB(200, 10, 20);
    entry->points = 100;
    entry->font.lfWeight = 700;
    entry->font.lfItalic = 1;
    entry->font.lfUnderline = 0;
    strcpy(entry->font.lfFaceName, "Courier New");
    FingerEntry* plain = AddTestEntry("Plain", "c@d");
    plain->font.lfWeight = 400;
    AppendEntryText(entry, "styled ");
    AppendEntryText(plain, "plain");
    EXPECT_EQ(PaneText(), "styled plain");

    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    CHARRANGE first = {1, 2};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageA(OutputWindow, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.crTextColor, RGB(200, 10, 20));
    EXPECT_EQ(format.yHeight, 200);
    EXPECT_TRUE(format.dwEffects & CFE_BOLD);
    EXPECT_TRUE(format.dwEffects & CFE_ITALIC);
    EXPECT_FALSE(format.dwEffects & CFE_UNDERLINE);
    EXPECT_STREQ(format.szFaceName, "Courier New");

    CHARRANGE second = {8, 9};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&second));
    SendMessageA(OutputWindow, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.crTextColor, RGB(0, 0, 0));
    EXPECT_EQ(format.yHeight, 240);
    EXPECT_FALSE(format.dwEffects & (CFE_BOLD | CFE_ITALIC));
}

TEST_F(OutputWindowTest, RecyclingReplacesTheBlockAndShiftsLaterBlocks)
{
    FingerEntry* recycled = AddTestEntry("R", "r@h", FE_RECYCLE_OUTPUT);
    FingerEntry* other = AddTestEntry("O", "o@h", FE_RECYCLE_OUTPUT);
    FingerEntry* keeper = AddTestEntry("K", "k@h");

    // The first block of a recycling entry removes nothing.
    WriteBlock(recycled, "R first answer\n");
    WriteBlock(other, "O answer\n");
    WriteBlock(keeper, "K one\n");
    EXPECT_EQ(PaneText(), "R first answer\nO answer\nK one\n");
    EXPECT_EQ(PaneRange(other->outputStart, other->outputEnd), "O answer\n");

    WriteBlock(recycled, "R second\n");
    EXPECT_EQ(PaneText(), "O answer\nK one\nR second\n");
    // Blocks that started later moved down by the removed length.
    EXPECT_EQ(PaneRange(other->outputStart, other->outputEnd), "O answer\n");
    EXPECT_EQ(PaneRange(keeper->outputStart, keeper->outputStart + 5), "K one");
    EXPECT_EQ(PaneRange(recycled->outputStart, recycled->outputEnd), "R second\n");

    WriteBlock(other, "O again\n");
    EXPECT_EQ(PaneText(), "K one\nR second\nO again\n");
    EXPECT_EQ(PaneRange(recycled->outputStart, recycled->outputEnd), "R second\n");

    // Without recycling every answer stays; only the start follows the newest.
    WriteBlock(keeper, "K two\n");
    EXPECT_EQ(PaneText(), "K one\nR second\nO again\nK two\n");
    EXPECT_EQ(PaneRange(keeper->outputStart, keeper->outputStart + 5), "K two");
}

TEST_F(OutputWindowTest, StalePositionsNeverCutIntoOtherOutput)
{
    FingerEntry* entry = AddTestEntry("S", "s@h");
    FingerEntry* other = AddTestEntry("T", "t@h");
    WriteBlock(other, "other text\n");
    WriteBlock(entry, "entry text\n");
    // Recycling switched on later: the end recorded long ago lies before the start.
    entry->outputEnd = 3;
    entry->flags |= FE_RECYCLE_OUTPUT;
    WriteBlock(entry, "new\n");
    EXPECT_EQ(PaneText(), "other text\nentry text\nnew\n");
}

TEST_F(OutputWindowTest, ClearIsRefusedWhileBusyAndResetsPositionsWhenIdle)
{
    ASSERT_EQ(StartTaskThread(ShellHandles.mainWindow), 0);
    FingerEntry* first = AddTestEntry("F", "f@h");
    FingerEntry* entry = AddTestEntry("C", "c@h", FE_RECYCLE_OUTPUT);
    WriteBlock(first, "first\n");
    WriteBlock(entry, "x\n");
    WriteBlock(entry, "some text\n");
    ASSERT_NE(entry->outputStart, 0);
    SetJobState(0xFFFFFFFFu, JS_BUSY);
    StartBoxAnswerer(IDOK, "Clear Output");
    ClearOutput();
    std::vector<SeenBox> boxes = StopBoxAnswerer();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot clear the output window while a job is being processed");
    EXPECT_EQ(PaneText(), "first\nsome text\n");
    SetJobState(~static_cast<uint32_t>(JS_BUSY), 0);
    ClearOutput();
    EXPECT_EQ(PaneText(), "");
    EXPECT_EQ(entry->outputStart, 0);
    EXPECT_EQ(entry->outputEnd, 0);
}

TEST_F(OutputWindowTest, StreamedTextKeepsItsCountAndPassesTheDefaultLimit)
{
    FingerEntry* entry = AddTestEntry("Big", "b@h");
    StreamBufferToOutput(entry, "abcdef", 3);
    std::string big;
    for (int i = 0; i < 300; ++i)
        big += std::string(1000, 'x') + "\n";
    StreamBufferToOutput(entry, big.data(), static_cast<uint32_t>(big.size()));
    AppendEntryText(entry, "tail\n");
    const char rich[] = "{\\rtf1\\ansi {\\b bold} words\\par}";
    StreamBufferToOutput(nullptr, rich, sizeof rich - 1);
    const std::string text = PaneText();
    EXPECT_EQ(text.substr(0, big.size() + 8), "abc" + big + "tail\n");
    EXPECT_EQ(Normalised(text.substr(big.size() + 8)), "bold words\n");
}

// Paints of the pane, counted by a procedure put in front of the pane's own.
std::atomic<int> panePaints;
WNDPROC paneProcedureBeforeCounting;

LRESULT CALLBACK CountPanePaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
        panePaints++;
    return CallWindowProcA(paneProcedureBeforeCounting, window, message, wParam, lParam);
}

// Another thread writes line after line while the window is shown: the pane
// keeps its newest line in view, stays visible, and is painted again after
// the last write without any further input.
TEST_F(OutputWindowTest, AShownPaneFollowsTextFromAnotherThreadAndRepaints)
{
    ShowWindow(ShellHandles.mainWindow, SW_SHOWNORMAL);
    UpdateWindow(ShellHandles.mainWindow);
    paneProcedureBeforeCounting = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(OutputWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountPanePaints)));
    FingerEntry* entry = AddTestEntry("Lines", "l@h");
    constexpr int LINES = 200;
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (int i = 0; i < LINES; ++i) {
            char line[32];
            snprintf(line, sizeof line, "line %d\n", i);
            AppendEntryText(entry, line);
        }
        written = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return written.load(); }, 60000));
    writer.join();
    panePaints = 0;
    AppendEntryText(entry, "last line\n");
    EXPECT_TRUE(PumpUntil([] { return panePaints > 0; }, 10000));
    EXPECT_TRUE(IsWindowVisible(OutputWindow));

    const std::string text = PaneText();
    const std::string ending = "line 199\nlast line\n";
    ASSERT_GE(text.size(), ending.size());
    ASSERT_EQ(text.substr(text.size() - ending.size()), ending);
    RECT client;
    GetClientRect(OutputWindow, &client);
    const LRESULT lastLine = SendMessageA(OutputWindow, EM_GETLINECOUNT, 0, 0) - 2;
    const LRESULT lastStart = SendMessageA(OutputWindow, EM_LINEINDEX, lastLine, 0);
    POINTL position = {};
    SendMessageA(OutputWindow, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&position), lastStart);
    EXPECT_GT(SendMessageA(OutputWindow, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_GE(position.y, client.top);
    EXPECT_LT(position.y, client.bottom);
    SetWindowLongPtrA(OutputWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(paneProcedureBeforeCounting));

    // A pane that has been hidden stays hidden while text arrives.
    ShowWindow(OutputWindow, SW_HIDE);
    std::thread hiddenWriter([&] { AppendEntryText(entry, "unseen\n"); });
    ASSERT_TRUE(PumpUntil([] { return PaneText().find("unseen") != std::string::npos; }, 10000));
    hiddenWriter.join();
    EXPECT_FALSE(GetWindowLongA(OutputWindow, GWL_STYLE) & WS_VISIBLE);
}

void SaveThroughDialog(const std::string& path, int filterIndex)
{
    snprintf(Settings.outputPath, sizeof Settings.outputPath, "%s", path.c_str());
    OutputSaveDialog.nFilterIndex = filterIndex;
    StartBoxAnswerer(IDOK, "Save output as");
    SaveOutput();
    StopBoxAnswerer();
}

TEST_F(OutputWindowTest, SaveWritesRichOrPlainTextByFilter)
{
    FingerEntry* entry = AddTestEntry("Save", "s@h");
    AppendEntryText(entry, "line one\nline two\n");
    std::string folder = TempFolder();
    std::string rtfPath = folder + "\\saved.txt";
    SaveThroughDialog(rtfPath, 1);
    std::string rtf = ReadWholeFile(rtfPath);
    EXPECT_EQ(rtf.substr(0, 5), "{\\rtf") << "the first filter writes rich text whatever the name";
    EXPECT_NE(rtf.find("line two"), std::string::npos);

    std::string textPath = folder + "\\saved2.txt";
    SaveThroughDialog(textPath, 2);
    EXPECT_EQ(Normalised(ReadWholeFile(textPath)), "line one\nline two\n");
    EXPECT_FALSE(SendMessageA(OutputWindow, EM_GETMODIFY, 0, 0));
}

TEST_F(OutputWindowTest, OutputCommandsAreForwardedToTheMainWindow)
{
    // The pane hands its menu commands to its parent, but not its own ones.
    static std::atomic<int> forwarded;
    WNDPROC previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        ShellHandles.mainWindow, GWLP_WNDPROC,
        reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_COMMAND)
                forwarded = LOWORD(wp);
            return DefWindowProcA(w, m, wp, lp);
        })));
    for (const auto& [command, expected] : {std::pair{40059, 40059}, {40101, 40101}, {40060, 0}}) {
        forwarded = 0;
        SendMessageA(OutputWindow, WM_COMMAND, command, 0);
        PumpUntil([] { return false; }, 200);
        EXPECT_EQ(forwarded, expected) << command;
    }
    SetWindowLongPtrA(ShellHandles.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
}

// The other thread holds the pane's mutex and sends to the pane, which this
// thread owns, while this thread waits for that mutex: every main-thread
// wait for it has to keep handling sent messages or both threads stop for
// good.
TEST_F(OutputWindowTest, MainThreadWaitsNeverDeadlockAgainstAWritingThread)
{
    ASSERT_EQ(StartTaskThread(ShellHandles.mainWindow), 0);
    FingerEntry* writing = AddTestEntry("Writer", "w@h");
    FingerEntry* viewer = AddTestEntry("Viewer", "v@h");
    const std::function<void()> steps[] = {
        ClearOutput, ViewJobs, [&] { AppendEntryText(viewer, "main thread line\n"); }};
    constexpr int ROUNDS = 6;
    // The round the main thread has started, the round in which the other
    // thread holds the mutex, and the round whose main-thread step has begun.
    std::atomic<int> requested{-1};
    std::atomic<int> held{-1};
    std::atomic<int> stepping{-1};
    std::atomic<bool> abandoned{false};
    auto awaitRound = [&](const std::atomic<int>& round, int value) {
        for (int i = 0; i < 10000 && round != value && !abandoned; ++i)
            Sleep(1);
    };
    std::thread writer([&] {
        for (int round = 0; round < ROUNDS && !abandoned; ++round) {
            awaitRound(requested, round);
            LockOutput();
            held = round;
            awaitRound(stepping, round);
            AppendEntryText(writing, "writer line\n");
            UnlockOutput();
        }
    });
    for (int round = 0; round < ROUNDS; ++round) {
        requested = round;
        if (!PumpUntil([&] { return held == round; }, 10000)) {
            ADD_FAILURE() << "the other thread never took the mutex in round " << round;
            abandoned = true;
            break;
        }
        stepping = round;
        steps[round % 3]();
    }
    writer.join();
    const std::string text = PaneText();
    EXPECT_NE(text.find("Jobs Pending: 0"), std::string::npos);
    EXPECT_NE(text.find("main thread line"), std::string::npos);
    EXPECT_NE(text.find("writer line"), std::string::npos);
}

}
