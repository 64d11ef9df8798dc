// What the output pane shows of an answer, and what the log and the monitor file keep of it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/winsock.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"
#include "support/test_servers.h"

namespace {

class AnswerDisplay : public testing::Test {
protected:
    const std::string log = TempFolder() + "\\answer-display.log";

    void SetUp() override
    {
        StartTestProgram({.simulate = false});
        ASSERT_EQ(StartWinsock(), 0);
        Settings.maxAllocSize = 1u << 20;
        snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log.c_str());
        snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "127.0.0.2");
        ASSERT_EQ(SetUpPaths(), 0);
    }

    void TearDown() override
    {
        StopTestProgram();
        StopWinsock();
    }
};

// Control bytes but tab, CR and LF show as dots, while the log and monitor file keep 1 MiB, mostly one line, whole.
TEST_F(AnswerDisplay, ControlBytesShowAsStandInsAndTheAnswerIsStoredAsReceived)
{
    std::string answer(1u << 20, '\0'), shown;
    for (size_t i = 0; i < answer.size(); ++i) {
        const auto byte = static_cast<char>(i < 32 ? i : i * 7 % 256);
        answer[i] = i >= 32 && (byte == '\r' || byte == '\n') ? '\0' : byte;
        if (answer[i] != '\r' && answer[i] != '\n')
            shown += static_cast<unsigned char>(answer[i]) < 32 && answer[i] != '\t' ? '.' : answer[i];
    }
    for (const char* kind : {"shown", "collected", "whois"}) {
        SCOPED_TRACE(kind);
        const bool whois = kind[0] == 'w';
        Settings.options = OPT_NETWORK | OPT_LOGGING | (kind[0] == 'c' ? uint32_t{OPT_AUTO_HTML} : 0u);
        // A fresh pane: emptying one that holds such a line takes far longer than showing it.
        DestroyWindow(OutputWindow);
        CloseHandle(OutputMutex);
        CreateOutputWindow(ShellHandles.mainWindow);
        TestServer server;
        ASSERT_EQ(StartTestServer(server, "127.0.0.2", whois ? 43 : 79, {.answer = answer, .chunkBytes = 4096}), 0);
        const uint32_t flags = whois ? FE_TEMPORARY | FE_LOG_OUTPUT : FE_LOG_OUTPUT;
        FingerEntry* entry = AddTestEntry(kind, whois ? "q" : "a@127.0.0.2", flags);
        char monitor[PATH_SIZE];
        MonitorFilePath(entry, monitor, sizeof monitor);
        ASSERT_EQ(AddJob(whois ? JOB_WHOIS : JOB_FINGER, entry), 0);
        ASSERT_TRUE(WaitForJobsDone(60000)) << "not shown and stored within a minute";
        EXPECT_TRUE(ReadWholeFile(log).ends_with(answer));
        EXPECT_TRUE(whois || ReadWholeFile(monitor) == answer);
        std::string pane = PaneText().substr(PaneText().find('\n') + 1);
        EXPECT_EQ(pane.substr(0, 32), std::string(9, '.') + "\t\n..\n" + std::string(18, '.'));
        std::erase(pane, '\n');
        EXPECT_TRUE(pane == shown) << "shown " << pane.size() << " of " << shown.size();
    }
}

}
