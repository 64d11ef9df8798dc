#include "jobs/winsock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "entries/message_box.h"
#include "support/test_windows.h"

TEST(FormatWinsockError, NamedCodesShowNumberAndNameOthersOnlyTheNumber)
{
    const std::pair<int, const char*> cases[] = {
        {10035, "(10035 - \"WSAEWOULDBLOCK\")"}, {10061, "(10061 - \"WSAECONNREFUSED\")"},
        {10071, "(10071 - \"WSAEREMOTE\")"},     {10034, "(10034)"},
        {10072, "(10072)"},                      {11001, "(11001)"},
        {-1, "(-1)"},
    };
    char buffer[64];
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(FormatWinsockError(buffer, sizeof buffer, code), static_cast<int>(strlen(text)));
        EXPECT_STREQ(buffer, text);
    }
    // Cut to the buffer, never past it.
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(FormatWinsockError(buffer, 8, 10060), 7);
    EXPECT_STREQ(buffer, "(10060 ");
    EXPECT_EQ(buffer[8], 'x');
}

// Started once and cleaned up once, however often it is stopped; a failed
// clean-up warns and leaves the library marked as started.
TEST(Winsock, StartsAndStopsOnceAndWarnsWhenTheCleanUpFails)
{
    AnswerBoxes("Warning", IDOK);
    EXPECT_EQ(StopWinsock(), 0);
    ASSERT_EQ(StartWinsock(), 0);
    EXPECT_EQ(winsockStarted, 1);
    EXPECT_EQ(StopWinsock(), 0);
    EXPECT_EQ(INVALID_SOCKET, socket(AF_INET, SOCK_STREAM, 0));
    EXPECT_EQ(StopWinsock(), 0);
    EXPECT_EQ(AnsweredBoxCount(), 0);

    ASSERT_EQ(StartWinsock(), 0);
    ASSERT_EQ(WSACleanup(), 0);
    SetMessageOwner(nullptr);
    EXPECT_NE(StopWinsock(), 0);
    EXPECT_EQ(winsockStarted, 1);
    ASSERT_EQ(AnsweredBoxCount(), 1);
    EXPECT_EQ(AnsweredBoxes()[0].text, "Couldn't clean up the WinSockets");
    StopAnsweringBoxes();
    winsockStarted = 0;
}
