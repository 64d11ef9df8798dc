#include "support/test_servers.h"

#include <winsock.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

struct TestServerState {
    ServerBehaviour behaviour;
    std::string answer;
    SOCKET listener = INVALID_SOCKET;
    std::atomic<bool> stopping{false};
    std::thread acceptThread;
    // Owned by the accept thread until it has ended.
    std::vector<std::thread> connectionThreads;
    mutable std::mutex mutex;
    std::vector<std::string> queries;
    int closedCount = 0;

    TestServerState()
    {
        WSADATA data;
        WSAStartup(0x0101, &data);
    }
    ~TestServerState()
    {
        stopping = true;
        if (acceptThread.joinable())
            acceptThread.join();
        for (std::thread& thread : connectionThreads)
            thread.join();
        if (listener != INVALID_SOCKET)
            closesocket(listener);
        WSACleanup();
    }
};

namespace {

// The longest one wait lasts, and so how soon a thread sees a stop.
constexpr long SLICE_MS = 50;

bool WaitFor(SOCKET handle, bool writable)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(handle, &set);
    timeval wait = {0, SLICE_MS * 1000};
    return select(0, writable ? nullptr : &set, writable ? &set : nullptr, nullptr, &wait) == 1;
}

void Converse(TestServerState* state, SOCKET client, size_t index)
{
    const ServerBehaviour& behaviour = state->behaviour;
    std::string received;
    bool peerClosed = false;
    // Takes what the client sends within one slice; notes when it has closed.
    auto read = [&] {
        char buffer[4096];
        if (!WaitFor(client, false))
            return;
        const int count = recv(client, buffer, sizeof buffer, 0);
        if (count > 0) {
            received.append(buffer, static_cast<size_t>(count));
            std::lock_guard<std::mutex> lock(state->mutex);
            state->queries[index] = received;
        } else if (count == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
            peerClosed = true;
        }
    };
    while (!state->stopping && !peerClosed && received.find("\r\n") == std::string::npos)
        read();
    const std::string& answer = state->answer;
    bool answered = !behaviour.neverAnswer;
    for (size_t sent = 0, pieceEnd = 0; answered && sent < answer.size() && !state->stopping;) {
        if (sent == pieceEnd && sent > 0)
            Sleep(static_cast<DWORD>(behaviour.chunkDelayMs));
        if (sent == pieceEnd)
            pieceEnd = behaviour.chunkBytes ? std::min(answer.size(), sent + behaviour.chunkBytes) : answer.size();
        const int count = WaitFor(client, true) ? send(client, &answer[sent], static_cast<int>(pieceEnd - sent), 0) : 0;
        sent += count > 0 ? static_cast<size_t>(count) : 0;
        answered = count >= 0 || WSAGetLastError() == WSAEWOULDBLOCK;
    }
    // The query has been read whole, so closing delivers the rest of the
    // answer and then its end.
    while (!(answered && behaviour.closeAfterAnswer) && !state->stopping && !peerClosed)
        read();
    closesocket(client);
    std::lock_guard<std::mutex> lock(state->mutex);
    ++state->closedCount;
}

void Accept(TestServerState* state)
{
    while (!state->stopping) {
        SOCKET client = WaitFor(state->listener, false) ? accept(state->listener, nullptr, nullptr) : INVALID_SOCKET;
        if (client == INVALID_SOCKET)
            continue;
        u_long nonBlocking = 1;
        ioctlsocket(client, FIONBIO, &nonBlocking);
        std::lock_guard<std::mutex> lock(state->mutex);
        state->queries.emplace_back();
        state->connectionThreads.emplace_back(Converse, state, client, state->queries.size() - 1);
    }
}

}

TestServer::TestServer() : state(std::make_unique<TestServerState>()) {}

TestServer::~TestServer() = default;

int StartTestServer(TestServer& server, const char* address, int port, const ServerBehaviour& behaviour)
{
    server.state = std::make_unique<TestServerState>();
    TestServerState& state = *server.state;
    state.behaviour = behaviour;
    state.answer = behaviour.generatedBytes > 0 ? GeneratedAnswer(behaviour.generatedBytes) : behaviour.answer;
    state.listener = socket(AF_INET, SOCK_STREAM, 0);
    // Earlier servers on the same port leave connections waiting out their close.
    BOOL reuse = TRUE;
    setsockopt(state.listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<u_short>(port));
    local.sin_addr.s_addr = inet_addr(address);
    if (bind(state.listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        listen(state.listener, SOMAXCONN) != 0)
        return 1;
    state.acceptThread = std::thread(Accept, &state);
    return 0;
}

int ServerConnectionCount(const TestServer& server)
{
    std::lock_guard<std::mutex> lock(server.state->mutex);
    return static_cast<int>(server.state->queries.size());
}

std::string ServerQuery(const TestServer& server, int index)
{
    std::lock_guard<std::mutex> lock(server.state->mutex);
    const auto& queries = server.state->queries;
    return index >= 0 && static_cast<size_t>(index) < queries.size() ? queries[static_cast<size_t>(index)] : "";
}

int ServerClosedCount(const TestServer& server)
{
    std::lock_guard<std::mutex> lock(server.state->mutex);
    return server.state->closedCount;
}

std::string GeneratedAnswer(size_t size)
{
    std::string answer;
    for (size_t line = 0; answer.size() < size; ++line) {
        char number[16];
        snprintf(number, sizeof number, "%06u ", static_cast<unsigned>(line % 1000000));
        answer += number;
        for (size_t column = 0; column < 55; ++column)
            answer += static_cast<char>('a' + (line + column) % 26);
        answer += "\r\n";
    }
    answer.resize(size);
    return answer;
}
