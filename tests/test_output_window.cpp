#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"

namespace {

class OutputWindowTest : public ::testing::Test {
protected:
    void SetUp() override { StartTestProgram({.simulate = true, .startTaskThread = false}); }
    void TearDown() override { StopTestProgram(); }
};

// Writes one block for an entry as a job does and returns the pane's text
// between the entry's positions (a line end is one position and one
// character of PaneText).
std::string WriteBlock(FingerEntry* entry, const std::string& text)
{
    BeginEntryOutput(entry);
    AppendEntryText(entry, text.c_str());
    EndEntryOutput(entry);
    return PaneText().substr(entry->outputStart, entry->outputEnd - entry->outputStart);
}

TEST_F(OutputWindowTest, RecyclingReplacesTheBlockAndStalePositionsNeverCutOtherOutput)
{
    FingerEntry* recycled = AddTestEntry("R", "r@h", FE_RECYCLE_OUTPUT);
    FingerEntry* other = AddTestEntry("O", "o@h", FE_RECYCLE_OUTPUT);
    FingerEntry* keeper = AddTestEntry("K", "k@h");
    WriteBlock(recycled, "R first answer\n");
    WriteBlock(other, "O answer\n");
    WriteBlock(keeper, "K one\n");
    // Blocks that started later move up by the removed length.
    EXPECT_EQ(WriteBlock(recycled, "R second\n"), "R second\n");
    EXPECT_EQ(PaneText(), "O answer\nK one\nR second\n");
    EXPECT_EQ(PaneText().substr(other->outputStart, other->outputEnd - other->outputStart), "O answer\n");
    EXPECT_EQ(PaneText().substr(keeper->outputStart, 5), "K one");
    WriteBlock(other, "O again\n");
    EXPECT_EQ(PaneText().substr(recycled->outputStart, recycled->outputEnd - recycled->outputStart), "R second\n");

    // Without recycling every answer stays. Recycling switched on later: the
    // end recorded long ago lies before the start, and nothing is removed.
    WriteBlock(keeper, "K two\n");
    EXPECT_EQ(PaneText().substr(keeper->outputStart), "K two\n");
    keeper->outputEnd = 3;
    keeper->flags |= FE_RECYCLE_OUTPUT;
    WriteBlock(keeper, "K three\n");
    EXPECT_EQ(PaneText(), "K one\nR second\nO again\nK two\nK three\n");
}

TEST_F(OutputWindowTest, CountedTextPassesTheDefaultLimitAndBytesAfterANulAreShown)
{
    FingerEntry* entry = AddTestEntry("Big", "b@h");
    StreamBufferToOutput(entry, "abcdef", 3);
    // With a NUL the text is streamed, without one it goes in pieces.
    std::string lines;
    for (int i = 0; i < 300; ++i)
        lines += std::string(1000, 'x') + "\n";
    const std::string big = std::string("before\0after\n", 13) + lines;
    StreamBufferToOutput(entry, big.data(), static_cast<uint32_t>(big.size()));
    StreamBufferToOutput(entry, lines.data(), static_cast<uint32_t>(lines.size()));
    AppendEntryText(entry, "tail\n");
    // The pane's own text, NULs and all, with every line end as LF.
    const int length = GetWindowTextLengthA(OutputWindow);
    std::string raw(static_cast<size_t>(length) + 1, '\0');
    raw.resize(static_cast<size_t>(GetWindowTextA(OutputWindow, raw.data(), length + 1)));
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw.compare(i, 2, "\r\n") != 0)
            text += raw[i] == '\r' ? '\n' : raw[i];
    }
    EXPECT_GT(SendMessageA(OutputWindow, EM_GETLIMITTEXT, 0, 0), length) << "Windows would cut the text here";
    EXPECT_EQ(text.size(), big.size() + lines.size() + 8);
    EXPECT_TRUE(text == "abc" + big + lines + "tail\n");
}

// Another thread holds the pane's mutex and sends to the pane, which this
// thread owns, while this thread waits for that mutex: every main-thread wait
// for it has to keep handling sent messages. A deadlock cannot be broken, so
// past its bound the program ends with a message instead of hanging.
TEST_F(OutputWindowTest, MainThreadWaitsNeverDeadlockAgainstAWritingThread)
{
    ASSERT_EQ(StartTaskThread(ShellHandles.mainWindow), 0);
    FingerEntry* writing = AddTestEntry("Writer", "w@h");
    FingerEntry* viewer = AddTestEntry("Viewer", "v@h");
    HANDLE finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog([finished] {
        if (WaitForSingleObject(finished, 60000) != WAIT_OBJECT_0) {
            fprintf(stderr, "MainThreadWaitsNeverDeadlockAgainstAWritingThread: deadlocked\n");
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    const std::function<void()> steps[] = {
        ClearOutput, ViewJobs, [&] { AppendEntryText(viewer, "main thread line\n"); }};
    for (const auto& step : steps) {
        HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread writer([&] {
            LockOutput();
            SetEvent(held);
            Sleep(50);  // the main thread's step waits for the mutex meanwhile
            AppendEntryText(writing, "writer line\n");
            UnlockOutput();
        });
        EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(held, 0) == WAIT_OBJECT_0; }, 10000))
            << "the other thread never took the mutex";
        step();
        writer.join();
        CloseHandle(held);
    }
    SetEvent(finished);
    watchdog.join();
    CloseHandle(finished);
    const std::string text = PaneText();
    for (const char* line : {"Jobs Pending: 0", "main thread line", "writer line"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

}
