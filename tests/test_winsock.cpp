#include "jobs/winsock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/test_windows.h"

namespace {

std::string Formatted(int code)
{
    char buffer[64];
    int length = FormatWinsockError(buffer, sizeof(buffer), code);
    EXPECT_EQ(static_cast<int>(strlen(buffer)), length);
    return buffer;
}

std::string SystemText(DWORD code)
{
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof(text), nullptr);
    return std::string(text, length);
}

std::string ControlText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

HWND CreateInfoDialog()
{
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WINSOCK_INFO), nullptr,
                              WinsockInfoDialog, 0);
}

// Leaves the module's Winsock state as it found it (stopped).
struct WinsockTest : testing::Test {
    void TearDown() override
    {
        StopAnsweringBoxes();
        StopWinsock();
        winsockStarted = 0;
    }
};

}  // namespace

TEST(FormatWinsockError, NamedCodesShowNumberAndNameOthersOnlyTheNumber)
{
    const std::pair<int, const char*> cases[] = {
        {10035, "(10035 - \"WSAEWOULDBLOCK\")"}, {10061, "(10061 - \"WSAECONNREFUSED\")"},
        {10071, "(10071 - \"WSAEREMOTE\")"},     {10034, "(10034)"},
        {10072, "(10072)"},                      {11001, "(11001)"},
        {0, "(0)"},                              {-1, "(-1)"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(text, Formatted(code));

    // Cut to the buffer, never past it.
    char buffer[8];
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(7, FormatWinsockError(buffer, sizeof(buffer), 10060));
    EXPECT_STREQ("(10060 ", buffer);
    EXPECT_EQ(0, FormatWinsockError(buffer, 0, 10060));
}

TEST_F(WinsockTest, StartAndStopTwice)
{
    AnswerBoxes("", IDOK);
    EXPECT_EQ(0, StopWinsock());  // nothing to do before the start
    ASSERT_EQ(0, StartWinsock());
    EXPECT_EQ(1, winsockStarted);
    EXPECT_EQ(0x0101, WinsockData.wVersion);

    EXPECT_EQ(0, StopWinsock());
    EXPECT_EQ(0, winsockStarted);
    // Cleaned up exactly once: sockets can no longer be made.
    EXPECT_EQ(INVALID_SOCKET, socket(AF_INET, SOCK_STREAM, 0));
    EXPECT_EQ(WSANOTINITIALISED, WSAGetLastError());

    EXPECT_EQ(0, StopWinsock());
    EXPECT_EQ(0, AnsweredBoxCount());
}

TEST_F(WinsockTest, FailedCleanUpWarnsWithoutOwner)
{
    ASSERT_EQ(0, StartWinsock());
    ASSERT_EQ(0, WSACleanup());  // leaves nothing for StopWinsock to clean up
    ShellHandles.mainWindow = nullptr;
    AnswerBoxes("Warning", IDOK);
    EXPECT_NE(0, StopWinsock());
    EXPECT_EQ(1, winsockStarted);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_TRUE(boxes[0].matched);
    EXPECT_EQ("Couldn't clean up the WinSockets", boxes[0].text);
    EXPECT_EQ(nullptr, boxes[0].owner);
    winsockStarted = 0;  // nothing left to clean up
}

TEST_F(WinsockTest, InfoDialogShowsStartUpDataAndEndsWithZeroOnOk)
{
    ASSERT_EQ(0, StartWinsock());
    HWND dialog = CreateInfoDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("2.2", ControlText(dialog, IDC_WINSOCK_VERSION));
    EXPECT_EQ("WinSock 2.0", ControlText(dialog, IDC_WINSOCK_DESCRIPTION));
    EXPECT_EQ("Running", ControlText(dialog, IDC_WINSOCK_STATUS));
    EXPECT_EQ("32767", ControlText(dialog, IDC_WINSOCK_MAX_SOCKETS));
    DestroyWindow(dialog);

    // The version is the low byte, a dot and the high byte.
    const WSADATA saved = WinsockData;
    WinsockData.wHighVersion = 0x0102;
    WinsockData.iMaxSockets = 64;
    dialog = CreateInfoDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("2.1", ControlText(dialog, IDC_WINSOCK_VERSION));
    EXPECT_EQ("64", ControlText(dialog, IDC_WINSOCK_MAX_SOCKETS));
    DestroyWindow(dialog);
    WinsockData = saved;

    // OK only posts WM_CLOSE; the close then ends the modal dialog with 0.
    AnswerBoxes("Winsock Information", IDC_WINSOCK_OK);
    EXPECT_EQ(0, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WINSOCK_INFO), nullptr,
                                 WinsockInfoDialog, 0));
    ASSERT_EQ(1, AnsweredBoxCount());
    EXPECT_TRUE(AnsweredBoxes()[0].matched);
}

TEST(ShowSystemError, ShowsTheSystemTextUnderTheTitle)
{
    const std::pair<DWORD, const char*> cases[] = {{ERROR_FILE_NOT_FOUND, "Registry error"},
                                                   {0x2000ABCD, "Start-up"}};
    for (const auto& [code, title] : cases) {
        BoxAnswerer answerer(title, IDOK);
        ShowSystemError(code, title);
        std::vector<AnsweredBox> boxes = AnsweredBoxes();
        // Only this title counts: the answerer can also see boxes of other
        // programs on the same display.
        std::erase_if(boxes, [](const AnsweredBox& box) { return !box.matched; });
        ASSERT_EQ(1u, boxes.size());
        // An unknown code has no system text: the body is empty.
        EXPECT_EQ(SystemText(code), boxes[0].text);
    }
    EXPECT_FALSE(SystemText(ERROR_FILE_NOT_FOUND).empty());
}
