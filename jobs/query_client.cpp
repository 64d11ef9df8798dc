#include "jobs/query_client.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "entries/settings.h"
#include "jobs/host_lookup.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"
#include "jobs/net_socket.h"
#include "jobs/winsock.h"
#include "output/log_file.h"
#include "output/output_window.h"

namespace {

constexpr int MESSAGE_SIZE = 512;
constexpr int ERROR_TEXT_SIZE = 64;

// The error text of a Winsock code, such as (10061 - "WSAECONNREFUSED").
struct ErrorText {
    char text[ERROR_TEXT_SIZE];
};

ErrorText WinsockErrorText(const QueryDescription& query, int code)
{
    ErrorText error;
    if (query.namedErrors)
        FormatWinsockError(error.text, sizeof error.text, code);
    else
        snprintf(error.text, sizeof error.text, "(%i)", code);
    return error;
}

void ShowReceivedBytes(AnswerFetch& fetch, uint32_t count)
{
    char text[64];
    snprintf(text, sizeof text, "Received %i bytes", static_cast<int>(count));
    RecordStatus(fetch, 1, text);
}

// Ends the query on a kill or shutdown; the socket closes as it returns.
int StopCancelledQuery(AnswerFetch& fetch, const QueryDescription& query)
{
    RecordMessage(fetch, query.cancelLine);
    return 1;
}

// The port of a TCP service by name, in network order, looked up once: the
// services database does not change while the program runs. 0 when there is
// no such service.
u_short ServicePort(const char* name)
{
    struct Known {
        const char* name;
        u_short port;
    };
    static std::mutex lock;
    static std::vector<Known> known;
    std::lock_guard<std::mutex> hold(lock);
    for (const Known& service : known) {
        if (strcmp(service.name, name) == 0)
            return service.port;
    }
    const servent* service = getservbyname(name, "tcp");
    if (!service)
        return 0;
    known.push_back({name, static_cast<u_short>(service->s_port)});
    return known.back().port;
}

// Finds the host's address and the service's port. Returns 0 with the target
// filled in, or 1 after the failure has been recorded.
int LocateService(AnswerFetch& fetch, const QueryDescription& query, sockaddr_in* target)
{
    char message[MESSAGE_SIZE];
    in_addr address = {};
    int error = 0;
    const int found = LookUpHost(query.host, &address, &error);
    if (found == LOOKUP_REFUSED) {
        snprintf(message, sizeof message, "Couldn't get host \"%s\" by name.\n\n", query.host);
        RecordMessage(fetch, message);
        return 1;
    }
    if (found == LOOKUP_CANCELLED) {
        RecordMessage(fetch, "** cancelled **\n\n");
        return 1;
    }
    if (found == LOOKUP_FAILED) {
        snprintf(message, sizeof message, "Couldn't locate \"%s\" %s\n\n", query.host,
                 WinsockErrorText(query, error).text);
        RecordMessage(fetch, message);
        return 1;
    }
    const u_short servicePort = query.port ? htons(query.port) : ServicePort(query.service);
    if (servicePort == 0) {
        snprintf(message, sizeof message, "Couldn't get service by name \"%s, tcp\"\n\n", query.service);
        RecordMessage(fetch, message);
        return 1;
    }
    *target = {};
    target->sin_family = AF_INET;
    target->sin_port = servicePort;
    target->sin_addr = address;
    return 0;
}

enum AnswerEnd { ANSWER_COMPLETE, ANSWER_TRUNCATED, ANSWER_FAILED, ANSWER_CANCELLED };

struct AnswerReceipt {
    AnswerEnd end;
    uint32_t total;
    // The Winsock code of ANSWER_FAILED.
    int error;
    bool endShown;
};

// How the bytes that were ready at once ended.
enum ReadyEnd { READY_LATER, READY_CLOSED, READY_FAILED };

// After count bytes at cursor, takes what else the socket already holds, up
// to room bytes in all, so that bytes that came together are shown together.
ReadyEnd TakeReadyBytes(SOCKET netSocket, char* cursor, uint32_t& count, uint32_t room, int* error)
{
    while (count < room && !FetchCancelled()) {
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

// Receives the answer into the fetch's buffer after what it holds, up to the
// buffer's size in all, showing the byte count as it grows. An answer that
// fills the buffer exactly and then ends is complete, not truncated.
AnswerReceipt ReceiveAnswer(SOCKET netSocket, AnswerFetch& fetch, const QueryDescription& query)
{
    AnswerReceipt receipt = {ANSWER_COMPLETE, 0, 0, false};
    const uint32_t limit = fetch.limit - fetch.received;
    char* cursor = fetch.buffer.get() + fetch.received;
    ShowReceivedBytes(fetch, 0);
    for (;;) {
        *cursor = '\0';
        if (FetchCancelled()) {
            receipt.end = ANSWER_CANCELLED;
            return receipt;
        }
        const int waited = WaitForNetBytes(netSocket, &receipt.error);
        if (waited != NET_DONE) {
            receipt.end = waited == NET_CANCELLED ? ANSWER_CANCELLED : ANSWER_FAILED;
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
        cursor[taken] = '\0';
        receipt.endShown = query.progressive && ready == READY_CLOSED;
        RecordPiece(fetch, {.kind = FETCH_PIECE,
                            .offset = static_cast<uint32_t>(cursor - fetch.buffer.get()),
                            .length = taken,
                            .show = query.progressive,
                            .log = query.logPieces,
                            .withLineEnd = receipt.endShown});
        receipt.total += taken;
        cursor += taken;
        ShowReceivedBytes(fetch, receipt.total);
        if (ready == READY_CLOSED)
            return receipt;
        if (ready == READY_FAILED) {
            receipt.end = ANSWER_FAILED;
            return receipt;
        }
    }
}

}

void EmitJobMessage(const FingerEntry* entry, const char* text)
{
    HoldEntryText(entry, text, static_cast<uint32_t>(strlen(text)));
    if (entry->flags & FE_LOG_OUTPUT)
        AppendToLog(text, static_cast<uint32_t>(strlen(text)));
}

int RunQuery(AnswerFetch& fetch, const QueryDescription& query, QueryAnswer* answer)
{
    char message[MESSAGE_SIZE];
    snprintf(message, sizeof message, "Locating \"%s\"...", query.host);
    RecordStatus(fetch, query.statusPart, message);
    sockaddr_in target = {};
    if (LocateService(fetch, query, &target))
        return 1;

    RecordStatus(fetch, query.statusPart, "Found host, creating socket");
    NetSocket netSocket(OpenNetSocket());
    if (netSocket.handle == INVALID_SOCKET) {
        snprintf(message, sizeof message, "Couldn't create a new TCP/IP socket (%i)\n\n", WSAGetLastError());
        RecordMessage(fetch, message);
        return 1;
    }
    if (FetchCancelled())
        return StopCancelledQuery(fetch, query);

    int error = 0;
    const int connected = ConnectNetSocket(netSocket.handle, target, &error);
    if (connected == NET_CANCELLED)
        return StopCancelledQuery(fetch, query);
    if (connected != NET_DONE) {
        snprintf(message, sizeof message, "*** Error: Found, but couldn't connect to \"%s\" %s ***\n\n", query.target,
                 WinsockErrorText(query, error).text);
        RecordMessage(fetch, message);
        return 1;
    }
    if (FetchCancelled())
        return StopCancelledQuery(fetch, query);

    const int sent = SendNetBytes(netSocket.handle, query.query, query.queryLength, &error);
    if (sent == NET_CANCELLED)
        return StopCancelledQuery(fetch, query);
    if (sent != NET_DONE) {
        // The query never reached the server: there is no answer to record.
        snprintf(message, sizeof message, "** Winsocket error during finger retrieval %s **\n\n",
                 WinsockErrorText(query, error).text);
        RecordMessage(fetch, message);
        return 1;
    }

    const AnswerReceipt receipt = ReceiveAnswer(netSocket.handle, fetch, query);
    fetch.received += receipt.total;
    if (receipt.end == ANSWER_CANCELLED)
        return StopCancelledQuery(fetch, query);
    if (receipt.end == ANSWER_TRUNCATED) {
        snprintf(message, sizeof message, query.truncatedFormat, fetch.limit);
        RecordMessage(fetch, message);
    } else if (receipt.end == ANSWER_FAILED) {
        snprintf(message, sizeof message, "** Winsocket error during finger retrieval %s **\n\n",
                 WinsockErrorText(query, receipt.error).text);
        RecordMessage(fetch, message);
    }
    *answer = {receipt.total, receipt.end == ANSWER_TRUNCATED, receipt.end == ANSWER_FAILED, receipt.endShown};
    return 0;
}
