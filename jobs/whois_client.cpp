#include "whois_client.h"

#include <winsock.h>
#include <cstdio>
#include <cstring>

#include "../entries/settings.h"
#include "../output/output_window.h"
#include "../shell/status_bar.h"
#include "finger_client.h"
#include "host_lookup.h"
#include "job_queue.h"

namespace {

// The query text (at most 127 characters) and CR LF.
constexpr int QUERY_SIZE = 160;
constexpr int MESSAGE_SIZE = 512;

// The whois socket, shared by WhoisAddress and CheckWhoisCancel.
SOCKET WhoisSocket = INVALID_SOCKET;

void CloseWhoisSocket()
{
    if (WhoisSocket != INVALID_SOCKET) {
        closesocket(WhoisSocket);
        WhoisSocket = INVALID_SOCKET;
    }
}

// Ends the lookup after a wait that saw a kill or shutdown.
int StopCancelledWhois(const FingerEntry* entry)
{
    EmitJobMessage(entry, "** WHOIS cancelled **\n\n");
    CloseWhoisSocket();
    return 1;
}

}

int CheckWhoisCancel(const FingerEntry* entry, bool closeSocket)
{
    if (!JobsCancelled())
        return 0;
    EmitJobMessage(entry, "** WHOIS cancelled **\n\n");
    if (closeSocket)
        CloseWhoisSocket();
    return 1;
}

int WhoisAddress(FingerEntry* entry)
{
    char server[WHOIS_HOST_SIZE];
    snprintf(server, sizeof server, "%.*s", WHOIS_HOST_SIZE - 1, Settings.whoisServer);
    char queryText[ADDRESS_SIZE];
    snprintf(queryText, sizeof queryText, "%.*s", ADDRESS_SIZE - 1, entry->address);

    char message[MESSAGE_SIZE];
    snprintf(message, sizeof message, "Locating \"%s\"...", server);
    SetStatusText(0, message);
    sockaddr_in target = {};
    if (LocateService(entry, server, "whois", false, &target))
        return 1;

    SetStatusText(0, "Found host, creating socket");
    WhoisSocket = OpenNetSocket();
    if (WhoisSocket == INVALID_SOCKET) {
        snprintf(message, sizeof message, "Couldn't create a new TCP/IP socket (%i)\n\n", WSAGetLastError());
        EmitJobMessage(entry, message);
        return 1;
    }
    if (CheckWhoisCancel(entry, true))
        return 1;

    int error = 0;
    const int connected = ConnectNetSocket(WhoisSocket, target, &error);
    if (connected == NET_CANCELLED)
        return StopCancelledWhois(entry);
    if (connected != NET_DONE) {
        snprintf(message, sizeof message, "*** Error: Found, but couldn't connect to \"%s\" (%i) ***\n\n", queryText,
                 error);
        EmitJobMessage(entry, message);
        CloseWhoisSocket();
        return 1;
    }
    if (CheckWhoisCancel(entry, true))
        return 1;

    char query[QUERY_SIZE];
    const int length = snprintf(query, sizeof query, "%s\r\n", queryText);
    const int sent = SendNetBytes(WhoisSocket, query, length, &error);
    if (sent == NET_CANCELLED)
        return StopCancelledWhois(entry);
    if (sent != NET_DONE) {
        snprintf(message, sizeof message, "** Winsocket error during finger retrieval (%i) **\n\n", error);
        EmitJobMessage(entry, message);
        CloseWhoisSocket();
        return 1;
    }

    bool endShown = false;
    const AnswerReceipt receipt = ReceiveAnswer(WhoisSocket, entry, true, true, &endShown);
    if (receipt.end == ANSWER_CANCELLED)
        return StopCancelledWhois(entry);
    if (receipt.end == ANSWER_TRUNCATED) {
        snprintf(message, sizeof message,
                 "** Warning: Finger output truncated (> %u bytes) **\n"
                 "** Change the memory allocation in Options->Advanced **\n\n",
                 Settings.maxAllocSize);
        EmitJobMessage(entry, message);
    } else if (receipt.end == ANSWER_FAILED) {
        snprintf(message, sizeof message, "** Winsocket error during finger retrieval (%i) **\n\n", receipt.error);
        EmitJobMessage(entry, message);
    }
    CloseWhoisSocket();
    if (!endShown)
        AppendEntryText(entry, "\n");
    return 0;
}
