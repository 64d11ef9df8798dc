#include "finger_client.h"

#include <cstdio>
#include <cstring>

#include "../entries/settings.h"
#include "../output/html_output.h"
#include "../output/log_file.h"
#include "../output/monitor_files.h"
#include "../output/output_window.h"
#include "../shell/status_bar.h"
#include "host_lookup.h"
#include "job_queue.h"
#include "winsock.h"

namespace {

// The longest slice a socket wait sleeps before it looks at the cancel
// condition and the clock again.
constexpr DWORD SOCKET_CHECK_MS = 100;

constexpr int HOST_SIZE = 128;
constexpr int MESSAGE_SIZE = 512;
constexpr int ERROR_TEXT_SIZE = 64;

// The finger socket, shared by FingerAddress and CheckFingerCancel.
SOCKET FingerSocket = INVALID_SOCKET;

void CloseFingerSocket()
{
    if (FingerSocket != INVALID_SOCKET) {
        closesocket(FingerSocket);
        FingerSocket = INVALID_SOCKET;
    }
}

enum SocketWait { WAIT_READ, WAIT_WRITE, WAIT_CONNECT };

int PendingSocketError(SOCKET netSocket)
{
    int code = 0;
    int size = sizeof code;
    if (getsockopt(netSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size) == SOCKET_ERROR)
        return WSAGetLastError();
    return code;
}

// Waits in short slices until the socket is ready for what is asked, a kill
// or shutdown is requested, or the network time limit has passed.
int WaitForSocket(SOCKET netSocket, SocketWait what, int* error)
{
    const DWORD started = GetTickCount();
    const DWORD limit = NetworkTimeoutMs();
    for (;;) {
        if (JobsCancelled())
            return NET_CANCELLED;
        const DWORD elapsed = GetTickCount() - started;
        if (elapsed >= limit) {
            *error = WSAETIMEDOUT;
            return NET_TIMED_OUT;
        }
        const DWORD slice = limit - elapsed < SOCKET_CHECK_MS ? limit - elapsed : SOCKET_CHECK_MS;
        fd_set ready;
        fd_set failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(netSocket, &ready);
        FD_SET(netSocket, &failed);
        timeval wait = {0, static_cast<long>(slice * 1000)};
        const int count = select(0, what == WAIT_READ ? &ready : nullptr, what == WAIT_READ ? nullptr : &ready,
                                 what == WAIT_CONNECT ? &failed : nullptr, &wait);
        if (count == SOCKET_ERROR) {
            *error = WSAGetLastError();
            return NET_FAILED;
        }
        if (count == 0)
            continue;
        if (what == WAIT_CONNECT) {
            const int code = PendingSocketError(netSocket);
            if (FD_ISSET(netSocket, &failed) || code != 0) {
                *error = code != 0 ? code : WSAECONNREFUSED;
                return NET_FAILED;
            }
        }
        return NET_DONE;
    }
}

// The error text of a Winsock code, such as (10061 - "WSAECONNREFUSED").
struct ErrorText {
    char text[ERROR_TEXT_SIZE];
};

ErrorText WinsockErrorText(int code)
{
    ErrorText error;
    FormatWinsockError(error.text, sizeof error.text, code);
    return error;
}

// Ends the finger after a wait that saw a kill or shutdown.
int StopCancelledFinger(const FingerEntry* entry)
{
    EmitJobMessage(entry, "** Finger cancelled **\n\n");
    CloseFingerSocket();
    return 1;
}

// How the bytes that were ready at once ended.
enum ReadyEnd { READY_LATER, READY_CLOSED, READY_FAILED };

// After count bytes at cursor, takes what else the socket already holds, up
// to room bytes in all, so that bytes that came together are shown together.
ReadyEnd TakeReadyBytes(SOCKET netSocket, char* cursor, uint32_t& count, uint32_t room, int* error)
{
    while (count < room && !JobsCancelled()) {
        const int more = recv(netSocket, cursor + count, static_cast<int>(room - count), 0);
        if (more > 0) {
            count += static_cast<uint32_t>(more);
            continue;
        }
        if (more == 0)
            return READY_CLOSED;
        const int code = WSAGetLastError();
        if (code == WSAEWOULDBLOCK)
            return READY_LATER;
        *error = code;
        return READY_FAILED;
    }
    return READY_LATER;
}


}

int BuildFingerQuery(char* query, int size, const char* user, bool longOutput)
{
    const char* prefix = "";
    if (longOutput)
        prefix = user[0] ? "/W " : "/W";
    const int length = snprintf(query, static_cast<size_t>(size), "%s%s\r\n", prefix, user);
    if (length < 0) {
        query[0] = '\0';
        return 0;
    }
    return length < size ? length : size - 1;
}

void EmitJobMessage(const FingerEntry* entry, const char* text)
{
    AppendEntryText(entry, text);
    if (entry->flags & FE_LOG_OUTPUT)
        AppendToLog(text, static_cast<uint32_t>(strlen(text)));
}

void ShowReceivedBytes(int count)
{
    char text[64];
    snprintf(text, sizeof text, "Received %i bytes", count);
    SetStatusText(1, text);
}

int CheckFingerCancel(const FingerEntry* entry, bool closeSocket)
{
    if (!JobsCancelled())
        return 0;
    EmitJobMessage(entry, "** Finger cancelled **\n\n");
    if (closeSocket)
        CloseFingerSocket();
    return 1;
}

SOCKET OpenNetSocket()
{
    SOCKET netSocket = socket(AF_INET, SOCK_STREAM, 0);
    if (netSocket == INVALID_SOCKET)
        return INVALID_SOCKET;
    u_long nonBlocking = 1;
    if (ioctlsocket(netSocket, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        closesocket(netSocket);
        WSASetLastError(code);
        return INVALID_SOCKET;
    }
    return netSocket;
}

int ConnectNetSocket(SOCKET netSocket, const sockaddr_in& address, int* error)
{
    if (connect(netSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return NET_DONE;
    const int code = WSAGetLastError();
    if (code != WSAEWOULDBLOCK && code != WSAEINPROGRESS) {
        *error = code;
        return NET_FAILED;
    }
    return WaitForSocket(netSocket, WAIT_CONNECT, error);
}

int SendNetBytes(SOCKET netSocket, const char* bytes, int length, int* error)
{
    int sent = 0;
    while (sent < length) {
        const int count = send(netSocket, bytes + sent, length - sent, 0);
        if (count != SOCKET_ERROR) {
            sent += count;
            continue;
        }
        const int code = WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            *error = code;
            return NET_FAILED;
        }
        const int waited = WaitForSocket(netSocket, WAIT_WRITE, error);
        if (waited != NET_DONE)
            return waited;
    }
    return NET_DONE;
}

int WaitForNetBytes(SOCKET netSocket, int* error)
{
    return WaitForSocket(netSocket, WAIT_READ, error);
}

AnswerReceipt ReceiveAnswer(SOCKET netSocket, const FingerEntry* entry, bool show, bool log, bool* endShown)
{
    if (endShown)
        *endShown = false;
    AnswerReceipt receipt = {ANSWER_COMPLETE, 0, 0};
    const uint32_t limit = Settings.maxAllocSize;
    char* cursor = AnswerBuffer;
    ShowReceivedBytes(0);
    for (;;) {
        *cursor = '\0';
        if (JobsCancelled()) {
            receipt.end = ANSWER_CANCELLED;
            return receipt;
        }
        const int waited = WaitForNetBytes(netSocket, &receipt.error);
        if (waited == NET_CANCELLED) {
            receipt.end = ANSWER_CANCELLED;
            return receipt;
        }
        if (waited != NET_DONE) {
            receipt.end = ANSWER_FAILED;
            return receipt;
        }
        const uint32_t remaining = limit - receipt.total;
        if (remaining == 0) {
            // The buffer is full: one more byte tells a cut answer from one
            // that fits exactly. It lands in the buffer's spare bytes.
            const int extra = recv(netSocket, cursor, 1, 0);
            *cursor = '\0';
            if (extra == SOCKET_ERROR) {
                receipt.error = WSAGetLastError();
                if (receipt.error == WSAEWOULDBLOCK)
                    continue;
                receipt.end = ANSWER_FAILED;
            } else {
                receipt.end = extra > 0 ? ANSWER_TRUNCATED : ANSWER_COMPLETE;
            }
            return receipt;
        }
        const int count = recv(netSocket, cursor, static_cast<int>(remaining), 0);
        if (count == SOCKET_ERROR) {
            receipt.error = WSAGetLastError();
            if (receipt.error == WSAEWOULDBLOCK)
                continue;
            receipt.end = ANSWER_FAILED;
            return receipt;
        }
        if (count == 0)
            return receipt;
        uint32_t taken = static_cast<uint32_t>(count);
        const ReadyEnd ready = TakeReadyBytes(netSocket, cursor, taken, remaining, &receipt.error);
        receipt.total += taken;
        const bool showEnd = show && endShown && ready == READY_CLOSED;
        if (showEnd) {
            // The buffer's spare bytes hold the line end for this one write.
            cursor[taken] = '\n';
            StreamBufferToOutput(entry, cursor, taken + 1);
            *endShown = true;
        } else if (show) {
            StreamBufferToOutput(entry, cursor, taken);
        }
        cursor[taken] = '\0';
        if (log && (entry->flags & FE_LOG_OUTPUT))
            AppendToLog(cursor, taken);
        cursor += taken;
        ShowReceivedBytes(static_cast<int>(receipt.total));
        if (ready == READY_CLOSED)
            return receipt;
        if (ready == READY_FAILED) {
            receipt.end = ANSWER_FAILED;
            return receipt;
        }
    }
}

int LocateService(const FingerEntry* entry, const char* host, const char* serviceName, bool namedErrors,
                  sockaddr_in* target)
{
    char message[MESSAGE_SIZE];
    HANDLE lookup = StartHostLookup(host);
    if (!lookup) {
        snprintf(message, sizeof message, "Couldn't get host \"%s\" by name.\n\n", host);
        EmitJobMessage(entry, message);
        return 1;
    }
    if (WaitForHostLookup(lookup, entry, LOOKUP_DONE_BIT))
        return 1;
    in_addr address = {};
    int lookupError = HostLookupState.lookupError;
    if (lookupError == 0 && HostLookupAddress(&address) != 0)
        lookupError = WSANO_DATA;
    if (lookupError != 0) {
        if (namedErrors)
            snprintf(message, sizeof message, "Couldn't locate \"%s\" %s\n\n", host, WinsockErrorText(lookupError).text);
        else
            snprintf(message, sizeof message, "Couldn't locate \"%s\" (%i)\n\n", host, lookupError);
        EmitJobMessage(entry, message);
        return 1;
    }
    const servent* service = getservbyname(serviceName, "tcp");
    if (!service) {
        snprintf(message, sizeof message, "Couldn't get service by name \"%s, tcp\"\n\n", serviceName);
        EmitJobMessage(entry, message);
        return 1;
    }
    *target = {};
    target->sin_family = AF_INET;
    target->sin_port = service->s_port;
    target->sin_addr = address;
    return 0;
}

int FingerAddress(FingerEntry* entry)
{
    // Everything before the last at sign is the user part, everything after
    // it the host; without an at sign the user is on this machine.
    char user[ADDRESS_SIZE];
    char host[HOST_SIZE];
    snprintf(user, sizeof user, "%.*s", ADDRESS_SIZE - 1, entry->address);
    host[0] = '\0';
    if (char* at = strrchr(user, '@')) {
        *at = '\0';
        snprintf(host, sizeof host, "%s", at + 1);
    } else {
        if (gethostname(host, sizeof host) != 0) {
            EmitJobMessage(entry, "Couldn't get local host name.\n\n");
            return 1;
        }
        host[sizeof host - 1] = '\0';
    }

    char message[MESSAGE_SIZE];
    snprintf(message, sizeof message, "Locating \"%s\"...", host);
    SetStatusText(1, message);
    sockaddr_in target = {};
    if (LocateService(entry, host, "finger", true, &target))
        return 1;

    SetStatusText(1, "Found host, creating socket");
    FingerSocket = OpenNetSocket();
    if (FingerSocket == INVALID_SOCKET) {
        snprintf(message, sizeof message, "Couldn't create a new TCP/IP socket (%i)\n\n", WSAGetLastError());
        EmitJobMessage(entry, message);
        return 1;
    }
    if (CheckFingerCancel(entry, true))
        return 1;

    int error = 0;
    const int connected = ConnectNetSocket(FingerSocket, target, &error);
    if (connected == NET_CANCELLED)
        return StopCancelledFinger(entry);
    if (connected != NET_DONE) {
        snprintf(message, sizeof message, "*** Error: Found, but couldn't connect to \"%s\" %s ***\n\n", user,
                 WinsockErrorText(error).text);
        EmitJobMessage(entry, message);
        CloseFingerSocket();
        return 1;
    }
    if (CheckFingerCancel(entry, true))
        return 1;

    char query[FINGER_QUERY_SIZE];
    const int length = BuildFingerQuery(query, sizeof query, user, (entry->flags & FE_LONG_OUTPUT) != 0);
    const int sent = SendNetBytes(FingerSocket, query, length, &error);
    if (sent == NET_CANCELLED)
        return StopCancelledFinger(entry);
    if (sent != NET_DONE) {
        // The query never reached the server: there is no answer to record.
        snprintf(message, sizeof message, "** Winsocket error during finger retrieval %s **\n\n",
                 WinsockErrorText(error).text);
        EmitJobMessage(entry, message);
        CloseFingerSocket();
        return 1;
    }

    // An answer is shown as it arrives unless it may have to go to the
    // browser, which needs all of it first.
    const bool progressive = !(Settings.options & OPT_AUTO_HTML) || (entry->flags & FE_HTML_NEVER);
    bool endShown = false;
    const AnswerReceipt receipt = ReceiveAnswer(FingerSocket, entry, progressive, false, &endShown);
    if (receipt.end == ANSWER_CANCELLED)
        return StopCancelledFinger(entry);
    if (receipt.end == ANSWER_TRUNCATED) {
        snprintf(message, sizeof message,
                 "** Warning: Finger output truncated (more than %u bytes) **\n"
                 "** Increase the memory allocation in Options->Advanced **\n\n",
                 Settings.maxAllocSize);
        EmitJobMessage(entry, message);
    } else if (receipt.end == ANSWER_FAILED) {
        snprintf(message, sizeof message, "** Winsocket error during finger retrieval %s **\n\n",
                 WinsockErrorText(receipt.error).text);
        EmitJobMessage(entry, message);
    }
    CloseFingerSocket();

    // A server that failed or fell silent before saying anything has given
    // no answer; the previous one stays recorded.
    if (receipt.end == ANSWER_FAILED && receipt.total == 0)
        return 0;
    if (progressive) {
        if (!endShown)
            AppendEntryText(entry, "\n");
        UpdateMonitorFile(entry, AnswerBuffer, receipt.total);
    } else if (IsHtmlOutput(entry, AnswerBuffer)) {
        UpdateMonitorFile(entry, AnswerBuffer, receipt.total);
        ViewHtmlOutput(entry);
    } else {
        UpdateMonitorFile(entry, AnswerBuffer, receipt.total);
        StreamBufferToOutput(entry, AnswerBuffer, receipt.total);
    }
    return 0;
}
