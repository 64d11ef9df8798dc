#include "jobs/winsock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "resources/resource.h"
#include "shell/shell_handles.h"
#include "support/test_servers.h"
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

const BoxControl* FindControl(const AnsweredBox& box, int id)
{
    for (const BoxControl& control : box.controls)
        if (control.id == id)
            return &control;
    return nullptr;
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
        StopWinsock();
        winsockStarted = 0;
    }
};

}  // namespace

TEST(FormatWinsockError, NamedCodesShowNumberAndName)
{
    EXPECT_EQ("(10035 - \"WSAEWOULDBLOCK\")", Formatted(10035));
    EXPECT_EQ("(10060 - \"WSAETIMEDOUT\")", Formatted(10060));
    EXPECT_EQ("(10061 - \"WSAECONNREFUSED\")", Formatted(10061));
    EXPECT_EQ("(10071 - \"WSAEREMOTE\")", Formatted(10071));
    EXPECT_EQ("(10054 - \"WSAECONNRESET\")", Formatted(10054));
}

TEST(FormatWinsockError, OtherCodesShowOnlyTheNumber)
{
    EXPECT_EQ("(10034)", Formatted(10034));
    EXPECT_EQ("(10072)", Formatted(10072));
    EXPECT_EQ("(0)", Formatted(0));
    EXPECT_EQ("(11001)", Formatted(11001));
    EXPECT_EQ("(-1)", Formatted(-1));
}

TEST(FormatWinsockError, EveryNamedCodeHasItsOwnName)
{
    const int count = WINSOCK_LAST_NAMED_ERROR - WINSOCK_FIRST_NAMED_ERROR + 1;
    ASSERT_EQ(37, count);
    for (int i = 0; i < count; ++i) {
        ASSERT_NE(nullptr, WinsockErrorNames[i]);
        EXPECT_EQ(0, strncmp(WinsockErrorNames[i], "WSAE", 4)) << WinsockErrorNames[i];
        for (int j = 0; j < i; ++j)
            EXPECT_STRNE(WinsockErrorNames[i], WinsockErrorNames[j]);
    }
    EXPECT_STREQ("WSAEADDRINUSE", WinsockErrorNames[10048 - 10035]);
    EXPECT_STREQ("WSAENETDOWN", WinsockErrorNames[10050 - 10035]);
    EXPECT_STREQ("WSAENOTCONN", WinsockErrorNames[10057 - 10035]);
    EXPECT_STREQ("WSAETOOMANYREFS", WinsockErrorNames[10059 - 10035]);
    EXPECT_STREQ("WSAEHOSTUNREACH", WinsockErrorNames[10065 - 10035]);
    EXPECT_STREQ("WSAEPROCLIM", WinsockErrorNames[10067 - 10035]);
    EXPECT_STREQ("WSAESTALE", WinsockErrorNames[10070 - 10035]);
}

TEST(FormatWinsockError, StaysInsideASmallBuffer)
{
    char buffer[8];
    memset(buffer, 'x', sizeof(buffer));
    int length = FormatWinsockError(buffer, sizeof(buffer), 10060);
    EXPECT_EQ(7, length);
    EXPECT_STREQ("(10060 ", buffer);
    EXPECT_EQ(0, FormatWinsockError(buffer, 0, 10060));
}

TEST_F(WinsockTest, StartAndStopTwice)
{
    BoxAnswerer answerer("", IDOK);
    EXPECT_EQ(0, StopWinsock());  // nothing to do before the start
    ASSERT_EQ(0, StartWinsock());
    EXPECT_EQ(1, winsockStarted);
    EXPECT_EQ(0x0101, WinsockData.wVersion);
    EXPECT_EQ(0x0202, WinsockData.wHighVersion);

    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_NE(INVALID_SOCKET, probe);
    closesocket(probe);

    EXPECT_EQ(0, StopWinsock());
    EXPECT_EQ(0, winsockStarted);
    // Cleaned up exactly once: sockets can no longer be made.
    EXPECT_EQ(INVALID_SOCKET, socket(AF_INET, SOCK_STREAM, 0));
    EXPECT_EQ(WSANOTINITIALISED, WSAGetLastError());

    EXPECT_EQ(0, StopWinsock());
    EXPECT_EQ(0, winsockStarted);
    EXPECT_EQ(0, AnsweredBoxCount());
}

TEST_F(WinsockTest, FailedCleanUpWarnsWithoutOwner)
{
    ASSERT_EQ(0, StartWinsock());
    ASSERT_EQ(0, WSACleanup());  // leaves nothing for StopWinsock to clean up
    ShellHandles.mainWindow = nullptr;
    BoxAnswerer answerer("Warning", IDOK);
    EXPECT_NE(0, StopWinsock());
    EXPECT_EQ(1, winsockStarted);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_TRUE(boxes[0].matched);
    EXPECT_EQ("Warning", boxes[0].caption);
    EXPECT_EQ("Couldn't clean up the WinSockets", boxes[0].text);
    EXPECT_EQ(nullptr, boxes[0].owner);
    winsockStarted = 0;
}

TEST_F(WinsockTest, InfoDialogShowsStartUpData)
{
    ASSERT_EQ(0, StartWinsock());
    HWND dialog = CreateInfoDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Winsock Information", WindowText(dialog));
    EXPECT_EQ("2.2", ControlText(dialog, IDC_WINSOCK_VERSION));
    EXPECT_EQ(std::string(WinsockData.szDescription), ControlText(dialog, IDC_WINSOCK_DESCRIPTION));
    EXPECT_EQ(std::string(WinsockData.szSystemStatus), ControlText(dialog, IDC_WINSOCK_STATUS));
    EXPECT_EQ(std::to_string(WinsockData.iMaxSockets), ControlText(dialog, IDC_WINSOCK_MAX_SOCKETS));
    EXPECT_EQ("WinSock 2.0", ControlText(dialog, IDC_WINSOCK_DESCRIPTION));
    EXPECT_EQ("Running", ControlText(dialog, IDC_WINSOCK_STATUS));
    EXPECT_EQ("32767", ControlText(dialog, IDC_WINSOCK_MAX_SOCKETS));
    EXPECT_EQ("&OK", ControlText(dialog, IDC_WINSOCK_OK));

    // The OK button only posts WM_CLOSE; the close then ends the dialog.
    ShowWindow(dialog, SW_SHOW);
    ASSERT_TRUE(IsWindowVisible(dialog));
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_WINSOCK_OK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_WINSOCK_OK)));
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, dialog, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(dialog); }, 2000));
    DestroyWindow(dialog);
}

TEST(WinsockInfoDialog, VersionIsLowByteDotHighByte)
{
    WSADATA saved = WinsockData;
    const struct {
        WORD version;
        const char* shown;
    } cases[] = {{0x0202, "2.2"}, {0x0101, "1.1"}, {0x0102, "2.1"}, {0x0001, "1.0"}};
    for (const auto& sample : cases) {
        WinsockData.wHighVersion = sample.version;
        WinsockData.iMaxSockets = 64;
        HWND dialog = CreateInfoDialog();
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(sample.shown, ControlText(dialog, IDC_WINSOCK_VERSION));
        EXPECT_EQ("64", ControlText(dialog, IDC_WINSOCK_MAX_SOCKETS));
        DestroyWindow(dialog);
    }
    WinsockData = saved;
}

TEST_F(WinsockTest, ModalInfoDialogEndsWithZeroOnOk)
{
    ASSERT_EQ(0, StartWinsock());
    BoxAnswerer answerer("Winsock Information", IDC_WINSOCK_OK);
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WINSOCK_INFO), nullptr,
                                     WinsockInfoDialog, 0);
    EXPECT_EQ(0, result);
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_TRUE(boxes[0].matched);
    const BoxControl* version = FindControl(boxes[0], IDC_WINSOCK_VERSION);
    ASSERT_NE(nullptr, version);
    EXPECT_EQ("2.2", version->text);
    const BoxControl* status = FindControl(boxes[0], IDC_WINSOCK_STATUS);
    ASSERT_NE(nullptr, status);
    EXPECT_EQ("Running", status->text);

    std::vector<std::string> labels;
    for (const BoxControl& control : boxes[0].controls)
        if (control.id == -1 || control.id == 0xFFFF)
            labels.push_back(control.text);
    std::vector<std::string> expected = {"Winsockets Version:", "Description:", "System Status:",
                                         "Maximum Windows Sockets:"};
    EXPECT_EQ(expected, labels);
}

TEST(ShowSystemError, ShowsTheSystemTextUnderTheTitle)
{
    std::string expected = SystemText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(expected.empty());
    BoxAnswerer answerer("Registry error", IDOK);
    ShowSystemError(ERROR_FILE_NOT_FOUND, "Registry error");
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_TRUE(boxes[0].matched);
    EXPECT_EQ("Registry error", boxes[0].caption);
    EXPECT_EQ(expected, boxes[0].text);
    EXPECT_EQ(IDOK, boxes[0].buttonId);
}

TEST(ShowSystemError, UnknownCodeGivesAnEmptyBody)
{
    ASSERT_TRUE(SystemText(0x2000ABCD).empty());
    BoxAnswerer answerer("Start-up", IDOK);
    ShowSystemError(0x2000ABCD, "Start-up");
    std::vector<AnsweredBox> boxes = AnsweredBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Start-up", boxes[0].caption);
    EXPECT_EQ("", boxes[0].text);
}

// The test servers, checked with plain Winsock.
namespace {

struct TestServerTest : testing::Test {
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(0x0101, &data));
    }
    void TearDown() override { WSACleanup(); }
};

SOCKET ConnectTo(const char* address, int port)
{
    SOCKET client = socket(AF_INET, SOCK_STREAM, 0);
    if (client == INVALID_SOCKET)
        return client;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<u_short>(port));
    remote.sin_addr.s_addr = inet_addr(address);
    if (connect(client, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) != 0) {
        closesocket(client);
        return INVALID_SOCKET;
    }
    return client;
}

bool Readable(SOCKET client, int ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(client, &readable);
    timeval timeout{ms / 1000, (ms % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

// Receives until the server closes, an error, or limitMs pass; closed tells which.
std::string ReceiveAll(SOCKET client, int limitMs, bool* closed = nullptr)
{
    std::string received;
    DWORD start = GetTickCount();
    if (closed)
        *closed = false;
    while (GetTickCount() - start < static_cast<DWORD>(limitMs)) {
        if (!Readable(client, 50))
            continue;
        char buffer[8192];
        int count = recv(client, buffer, sizeof(buffer), 0);
        if (count <= 0) {
            if (closed)
                *closed = count == 0;
            break;
        }
        received.append(buffer, static_cast<size_t>(count));
    }
    return received;
}

void SendText(SOCKET client, const std::string& text)
{
    ASSERT_EQ(static_cast<int>(text.size()), send(client, text.data(), static_cast<int>(text.size()), 0));
}

}  // namespace

TEST_F(TestServerTest, AnswersWithFixedBytesAndRecordsTheQuery)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = std::string("Login: alice\0Name: Alice\r\n", 26);
    ASSERT_EQ(0, StartTestServer(server, "127.0.0.2", 79, behaviour));

    SOCKET client = ConnectTo("127.0.0.2", 79);
    ASSERT_NE(INVALID_SOCKET, client);
    SendText(client, "alice\r\n");
    bool closed;
    EXPECT_EQ(behaviour.answer, ReceiveAll(client, 3000, &closed));
    EXPECT_TRUE(closed);
    closesocket(client);

    EXPECT_TRUE(PumpUntil([&] { return ServerClosedCount(server) == 1; }, 3000));
    EXPECT_EQ(1, ServerConnectionCount(server));
    EXPECT_EQ("alice\r\n", ServerQuery(server, 0));
    EXPECT_EQ(std::vector<std::string>{"alice\r\n"}, ServerQueries(server));
    StopTestServer(server);
    EXPECT_EQ("alice\r\n", ServerQuery(server, 0));  // kept after the stop
}

TEST_F(TestServerTest, CountsEveryConnectionOnTheWhoisPort)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "No match.\r\n";
    ASSERT_EQ(0, StartTestServer(server, "127.0.0.3", 43, behaviour));
    for (int i = 0; i < 3; ++i) {
        SOCKET client = ConnectTo("127.0.0.3", 43);
        ASSERT_NE(INVALID_SOCKET, client);
        SendText(client, "example" + std::to_string(i) + ".com\r\n");
        EXPECT_EQ("No match.\r\n", ReceiveAll(client, 3000));
        closesocket(client);
    }
    EXPECT_EQ(3, ServerConnectionCount(server));
    EXPECT_EQ("example2.com\r\n", ServerQuery(server, 2));
    EXPECT_EQ("", ServerQuery(server, 3));
}

TEST_F(TestServerTest, QueryMayArriveInPieces)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "done";
    ASSERT_EQ(0, StartTestServer(server, "127.0.0.2", 79, behaviour));
    SOCKET client = ConnectTo("127.0.0.2", 79);
    ASSERT_NE(INVALID_SOCKET, client);
    SendText(client, "/W bo");
    EXPECT_FALSE(Readable(client, 200));  // still waiting for the end of the line
    SendText(client, "b\r\n");
    EXPECT_EQ("done", ReceiveAll(client, 3000));
    closesocket(client);
    EXPECT_EQ("/W bob\r\n", ServerQuery(server, 0));
}

TEST_F(TestServerTest, SendsALargeGeneratedAnswer)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.generatedBytes = 300000;
    ASSERT_EQ(0, StartTestServer(server, "127.0.0.4", 79, behaviour));
    SOCKET client = ConnectTo("127.0.0.4", 79);
    ASSERT_NE(INVALID_SOCKET, client);
    SendText(client, "\r\n");
    std::string answer = ReceiveAll(client, 10000);
    closesocket(client);
    EXPECT_EQ(300000u, answer.size());
    EXPECT_TRUE(answer == GeneratedAnswer(300000));
    EXPECT_EQ(0u, GeneratedAnswer(640).size() % 64);
    EXPECT_EQ(std::string("000000 abcde"), GeneratedAnswer(12));
    EXPECT_EQ("\r\n000001 bcde", GeneratedAnswer(75).substr(62));
}

TEST_F(TestServerTest, DelaysAndSendsInChunks)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "0123456789abcdefghij";
    behaviour.delayMs = 300;
    behaviour.chunkBytes = 5;
    behaviour.chunkDelayMs = 100;
    ASSERT_EQ(0, StartTestServer(server, "127.0.0.2", 79, behaviour));
    SOCKET client = ConnectTo("127.0.0.2", 79);
    ASSERT_NE(INVALID_SOCKET, client);
    DWORD start = GetTickCount();
    SendText(client, "x\r\n");
    EXPECT_FALSE(Readable(client, 200));

    std::string firstPiece;
    ASSERT_TRUE(Readable(client, 2000));
    char buffer[64];
    int count = recv(client, buffer, sizeof(buffer), 0);
    ASSERT_GT(count, 0);
    firstPiece.assign(buffer, static_cast<size_t>(count));
    EXPECT_EQ("01234", firstPiece);
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_EQ("56789abcdefghij", ReceiveAll(client, 3000));
    EXPECT_GE(GetTickCount() - start, 500u);
    closesocket(client);
}

TEST_F(TestServerTest, ClosesAtOnce)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "never sent";
    behaviour.closeAtOnce = true;
    ASSERT_EQ(0, StartTestServer(server, "127.0.0.5", 43, behaviour));
    SOCKET client = ConnectTo("127.0.0.5", 43);
    ASSERT_NE(INVALID_SOCKET, client);
    bool closed;
    EXPECT_EQ("", ReceiveAll(client, 3000, &closed));
    EXPECT_TRUE(closed);
    closesocket(client);
    EXPECT_EQ(1, ServerConnectionCount(server));
}

TEST_F(TestServerTest, AnswersWithoutWaitingForTheQuery)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "greeting\r\n";
    behaviour.readQueryLine = false;
    behaviour.closeAfterAnswer = false;
    ASSERT_EQ(0, StartTestServer(server, "127.0.0.2", 79, behaviour));
    SOCKET client = ConnectTo("127.0.0.2", 79);
    ASSERT_NE(INVALID_SOCKET, client);
    bool closed;
    EXPECT_EQ("greeting\r\n", ReceiveAll(client, 500, &closed));
    EXPECT_FALSE(closed);  // kept open after the answer
    SendText(client, "late\r\n");
    EXPECT_TRUE(PumpUntil([&] { return ServerQuery(server, 0) == "late\r\n"; }, 2000));
    closesocket(client);
    EXPECT_TRUE(PumpUntil([&] { return ServerClosedCount(server) == 1; }, 2000));
}

TEST_F(TestServerTest, NeverAnsweringServerStopsPromptly)
{
    TestServer server;
    ServerBehaviour behaviour;
    behaviour.answer = "unused";
    behaviour.neverAnswer = true;
    ASSERT_EQ(0, StartTestServer(server, "127.0.0.6", 79, behaviour));
    SOCKET client = ConnectTo("127.0.0.6", 79);
    ASSERT_NE(INVALID_SOCKET, client);
    SendText(client, "bob\r\n");
    EXPECT_FALSE(Readable(client, 500));
    EXPECT_EQ("bob\r\n", ServerQuery(server, 0));

    DWORD start = GetTickCount();
    StopTestServer(server);
    EXPECT_LT(GetTickCount() - start, 1000u);
    bool closed;
    EXPECT_EQ("", ReceiveAll(client, 2000, &closed));
    EXPECT_TRUE(closed);
    closesocket(client);

    // Stopped means no longer listening.
    EXPECT_EQ(INVALID_SOCKET, ConnectTo("127.0.0.6", 79));
    EXPECT_EQ(WSAECONNREFUSED, WSAGetLastError());
}

TEST_F(TestServerTest, PortCanBeUsedAgainAfterStop)
{
    ServerBehaviour behaviour;
    behaviour.answer = "first";
    for (int round = 0; round < 2; ++round) {
        TestServer server;
        ASSERT_EQ(0, StartTestServer(server, "127.0.0.7", 79, behaviour));
        SOCKET client = ConnectTo("127.0.0.7", 79);
        ASSERT_NE(INVALID_SOCKET, client);
        SendText(client, "\r\n");
        EXPECT_EQ("first", ReceiveAll(client, 3000));
        closesocket(client);
    }
}

TEST_F(TestServerTest, SecondServerOnTheSameAddressFails)
{
    ServerBehaviour behaviour;
    TestServer first;
    TestServer second;
    ASSERT_EQ(0, StartTestServer(first, "127.0.0.8", 43, behaviour));
    EXPECT_EQ(1, StartTestServer(second, "127.0.0.8", 43, behaviour));
    EXPECT_EQ(0, StartTestServer(second, "127.0.0.9", 43, behaviour));
}
