// The finger client against a real finger daemon (Debian's in.fingerd), which
// the sandbox serves on 127.0.0.9: what the program records must be byte for
// byte what a plain client receives for the same query.
#include <winsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "entries/settings.h"
#include "jobs/host_lookup.h"
#include "jobs/job_queue.h"
#include "jobs/task_thread.h"
#include "jobs/winsock.h"
#include "output/monitor_files.h"
#include "output/output_window.h"
#include "shell/shell_handles.h"
#include "support/program_fixture.h"

namespace {

const char* const kDaemonHost = "127.0.0.9";

LRESULT CALLBACK DaemonTestMain(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOST_LOOKUP_DONE) {
        HostLookupDone(wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Sends the query and reads until the daemon closes the connection.
std::string PlainFinger(const std::string& query)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(79);
    address.sin_addr.s_addr = inet_addr(kDaemonHost);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return "(connect failed)";
    }
    send(s, query.data(), static_cast<int>(query.size()), 0);
    std::string answer;
    char buffer[4096];
    for (int got; (got = recv(s, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(got));
    closesocket(s);
    return answer;
}

class FingerDaemon : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ShellHandles.instance = GetModuleHandleA(nullptr);
        ShellHandles.richEditLibrary = LoadLibraryA("RichEd32.dll");
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DaemonTestMain;
        windowClass.hInstance = ShellHandles.instance;
        windowClass.lpszClassName = "FingerDaemonTestMain";
        RegisterClassA(&windowClass);
        ShellHandles.mainWindow = CreateWindowExA(0, "FingerDaemonTestMain", "Finger daemon test",
                                                  WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                                  ShellHandles.instance, nullptr);
        FetchDefaultEntryFont();
        SetDefaultSettings();
        CreateOutputWindow(ShellHandles.mainWindow);
        ASSERT_NE(SetUpPaths(), 0);
        ASSERT_EQ(StartWinsock(), 0);
        ASSERT_EQ(StartTaskThread(ShellHandles.mainWindow), 0);
    }

    static std::string FingerAndRecord(const char* address, uint32_t flags = 0)
    {
        FingerEntry* entry = AddTestEntry(address, address, flags);
        EXPECT_EQ(AddJob(JOB_FINGER, entry), 0);
        EXPECT_TRUE(WaitForJobsDone(20000));
        char path[PATH_SIZE];
        MonitorFilePath(entry, path, sizeof path);
        return ReadWholeFile(path);
    }
};

TEST_F(FingerDaemon, AnswersAreRecordedExactlyAndShown)
{
    const struct {
        const char* address;
        uint32_t flags;
        const char* query;
    } cases[] = {
        {"root@127.0.0.9", 0, "root\r\n"},
        {"root@127.0.0.9", FE_LONG_OUTPUT, "/W root\r\n"},
        {"@127.0.0.9", 0, "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        const std::string plain = PlainFinger(c.query);
        ASSERT_FALSE(plain.empty());
        ASSERT_NE(plain, "(connect failed)");
        EXPECT_EQ(FingerAndRecord(c.address, c.flags), plain);
    }
    EXPECT_NE(PaneText().find("Fingering \"@127.0.0.9\""), std::string::npos);
}

}
