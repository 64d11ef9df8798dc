#include "support/test_servers.h"

#include <algorithm>

namespace {

std::string QueryOf(const TestServerState& state, size_t index)
{
    std::lock_guard<std::mutex> lock(state.mutex);
    return index < state.queries.size() ? state.queries[index] : "";
}

// Sends in slices, looking at the stop request between them: a blocking send of a large answer to a client that has
// gone may never return under Wine.
bool SendWhole(TestServerState* state, SOCKET client, const char* bytes, int length)
{
    while (length > 0 && !state->stopping) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(client, &ready);
        timeval slice = {0, 50000};
        if (select(0, nullptr, &ready, nullptr, &slice) == SOCKET_ERROR)
            return false;
        if (!FD_ISSET(client, &ready))
            continue;
        const int sent = send(client, bytes, std::min(length, 16384), 0);
        if (sent <= 0)
            return false;
        bytes += sent;
        length -= sent;
    }
    return length == 0;
}

void ServeConnection(TestServerState* state, SOCKET client)
{
    const ServerBehaviour& behaviour = state->behaviour;
    const std::string& answer = behaviour.answer;
    {
        const DWORD sliceMs = 50;  // the longest a receive waits, and so how soon a stop is seen
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&sliceMs), sizeof sliceMs);
        std::unique_lock<std::mutex> lock(state->mutex);
        state->queries.emplace_back();
        const size_t index = state->queries.size() - 1;
        ++state->connectionCount;
        const int openNow = ++state->openCount;
        if (openNow > state->mostOpen)
            state->mostOpen = openNow;
        lock.unlock();
        if (behaviour.hangUpAtOnce)
            shutdown(client, 1);  // the sending side only: the query still comes in, so closing will not reset
        // Takes what comes within the receive time limit; false once the client has closed or the connection has
        // gone, or the server stops. Under load a receive that runs out of time may also end as interrupted or
        // aborted, which must not close the connection under a client that still waits.
        auto read = [&] {
            char buffer[4096];
            const int count = recv(client, buffer, sizeof buffer, 0);
            const int error = count < 0 ? WSAGetLastError() : 0;
            if (error != 0 && error != WSAETIMEDOUT)
                Sleep(10);  // an error that came at once must not spin
            std::lock_guard<std::mutex> guard(state->mutex);
            state->queries[index].append(buffer, static_cast<size_t>(std::max(count, 0)));
            const bool gone = count == 0 || error == WSAECONNRESET || error == WSAECONNABORTED ||
                              error == WSAENOTCONN || error == WSAENOTSOCK || error == WSAESHUTDOWN;
            return !state->stopping && !gone;
        };
        bool open = true;
        while (open && QueryOf(*state, index).find("\r\n") == std::string::npos)
            open = read();
        Sleep(open ? static_cast<DWORD>(behaviour.answerDelayMs) : 0);
        const size_t piece = behaviour.chunkBytes ? behaviour.chunkBytes : answer.size();
        const bool more = behaviour.endless && !answer.empty();
        for (size_t sent = 0; open && !behaviour.neverAnswer && (sent < answer.size() || more);) {
            Sleep(sent > 0 ? static_cast<DWORD>(behaviour.chunkDelayMs) : 0);
            const size_t at = sent % answer.size();
            const int length = static_cast<int>(std::min(piece, answer.size() - at));
            open = SendWhole(state, client, &answer[at], length);
            sent += static_cast<size_t>(length);
        }
        // The query has been read whole, so closing delivers the rest of the answer and then its end.
        while (open && (behaviour.neverAnswer || !behaviour.closeAfterAnswer))
            open = read();
        const linger abort = {1, 0};
        if (behaviour.resetAtEnd)
            setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        --state->openCount;
        closesocket(client);
        ++state->closedCount;
    }
}

void Serve(TestServerState* state)
{
    SOCKET client;
    while ((client = accept(state->listener, nullptr, nullptr)) != INVALID_SOCKET && !state->stopping) {
        if (state->behaviour.concurrent)
            state->servers.emplace_back(ServeConnection, state, client);
        else
            ServeConnection(state, client);
    }
    closesocket(client);  // the connection that woke it to stop
}

}

TestServerState::~TestServerState()
{
    stopping = true;
    if (thread.joinable()) {
        // A connection of its own ends the wait for the next one.
        const SOCKET wake = socket(AF_INET, SOCK_STREAM, 0);
        connect(wake, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        thread.join();
        closesocket(wake);
    }
    for (std::thread& server : servers)
        server.join();
    for (const SOCKET filler : queueFillers)
        closesocket(filler);
    // A listener is only made once the sockets library has been started.
    if (listener != INVALID_SOCKET && closesocket(listener) == 0)
        WSACleanup();
}

int StartTestServer(TestServer& server, const char* address, int port, const ServerBehaviour& behaviour)
{
    TestServerState& state = *(server.state = std::make_unique<TestServerState>());
    state.behaviour = behaviour;
    state.behaviour.answer = behaviour.generatedBytes ? GeneratedAnswer(behaviour.generatedBytes) : behaviour.answer;
    WSADATA data;
    WSAStartup(0x0101, &data);
    state.listener = socket(AF_INET, SOCK_STREAM, 0);
    // Earlier servers on the same port leave connections waiting out their close.
    BOOL reuse = TRUE;
    setsockopt(state.listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    state.address = {AF_INET, htons(static_cast<u_short>(port)), {{.S_addr = inet_addr(address)}}, {}};
    if (bind(state.listener, reinterpret_cast<const sockaddr*>(&state.address), sizeof state.address) != 0 ||
        listen(state.listener, behaviour.neverAccept ? 0 : SOMAXCONN) != 0)
        return 1;
    // With a backlog of 0 Linux queues one connection and drops the handshakes of any more; these fill it for good.
    for (u_long nonBlocking = 1; behaviour.neverAccept && state.queueFillers.size() < 4;) {
        state.queueFillers.push_back(socket(AF_INET, SOCK_STREAM, 0));
        ioctlsocket(state.queueFillers.back(), FIONBIO, &nonBlocking);
        connect(state.queueFillers.back(), reinterpret_cast<const sockaddr*>(&state.address), sizeof state.address);
    }
    if (!behaviour.neverAccept)
        state.thread = std::thread(Serve, &state);
    return 0;
}

std::string ServerQuery(const TestServer& server, int index)
{
    return index >= 0 ? QueryOf(*server.state, static_cast<size_t>(index)) : "";
}

std::string GeneratedAnswer(size_t size)
{
    std::string answer;
    for (unsigned line = 0; answer.size() < size; ++line)
        answer += std::to_string(1000000 + line % 1000000).substr(1) + " " +
                  std::string(55, static_cast<char>('a' + line % 26)) + "\r\n";
    answer.resize(size);
    return answer;
}
