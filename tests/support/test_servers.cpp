#include "test_servers.h"

#include <winsock.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

struct TestServerState {
    ServerBehaviour behaviour;
    std::string answer;
    SOCKET listener = INVALID_SOCKET;
    bool winsockStarted = false;
    std::atomic<bool> stopping{false};
    std::thread acceptThread;
    // Only the accept thread adds to this; it joins them all before it ends.
    std::vector<std::thread> connectionThreads;

    mutable std::mutex mutex;
    std::vector<std::string> queries;
    int closedCount = 0;
};

namespace {

constexpr int SLICE_MS = 50;
constexpr int LINGER_AFTER_ANSWER_MS = 3000;

// One accepted connection, owned by its thread.
struct Connection {
    TestServerState* state;
    SOCKET socket;
    int index;
    std::string received;
    bool peerClosed;
};

void Record(Connection& connection, const char* bytes, int count)
{
    connection.received.append(bytes, static_cast<size_t>(count));
    std::lock_guard<std::mutex> lock(connection.state->mutex);
    connection.state->queries[static_cast<size_t>(connection.index)].append(bytes, static_cast<size_t>(count));
}

// Waits up to ms (at most one slice) for bytes from the client and records them.
void ReadSome(Connection& connection, int ms)
{
    if (connection.peerClosed) {
        Sleep(static_cast<DWORD>(ms));
        return;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(connection.socket, &readable);
    timeval timeout{0, ms * 1000};
    if (select(0, &readable, nullptr, nullptr, &timeout) <= 0)
        return;
    char buffer[4096];
    int count = recv(connection.socket, buffer, sizeof(buffer), 0);
    if (count > 0)
        Record(connection, buffer, count);
    else if (count == 0 || WSAGetLastError() != WSAEWOULDBLOCK)
        connection.peerClosed = true;
}

// Keeps reading for ms milliseconds; false when the server is stopping.
bool WaitAndRead(Connection& connection, int ms)
{
    DWORD start = GetTickCount();
    while (!connection.state->stopping) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= static_cast<DWORD>(ms))
            return true;
        DWORD left = static_cast<DWORD>(ms) - elapsed;
        ReadSome(connection, left < SLICE_MS ? static_cast<int>(left) : SLICE_MS);
    }
    return false;
}

// Reads until the client closes, the server stops or limitMs pass (negative: no limit).
void ReadUntilClosed(Connection& connection, int limitMs)
{
    DWORD start = GetTickCount();
    while (!connection.state->stopping && !connection.peerClosed) {
        if (limitMs >= 0 && GetTickCount() - start >= static_cast<DWORD>(limitMs))
            return;
        ReadSome(connection, SLICE_MS);
    }
}

// Reads up to CRLF or until the client stops sending; false when the server is stopping.
bool ReadQueryLine(Connection& connection)
{
    while (!connection.state->stopping) {
        if (connection.received.find("\r\n") != std::string::npos || connection.peerClosed)
            return true;
        ReadSome(connection, SLICE_MS);
    }
    return false;
}

// Sends all bytes, reading whatever the client sends meanwhile; false when
// the connection failed or the server is stopping.
bool SendAll(Connection& connection, const char* bytes, size_t size)
{
    size_t sent = 0;
    while (sent < size) {
        if (connection.state->stopping)
            return false;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(connection.socket, &writable);
        timeval timeout{0, SLICE_MS * 1000};
        int ready = select(0, nullptr, &writable, nullptr, &timeout);
        if (ready < 0)
            return false;
        if (ready == 0) {
            ReadSome(connection, 0);
            continue;
        }
        size_t piece = size - sent < 65536 ? size - sent : 65536;
        int count = send(connection.socket, bytes + sent, static_cast<int>(piece), 0);
        if (count > 0)
            sent += static_cast<size_t>(count);
        else if (WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
    }
    return true;
}

bool SendAnswer(Connection& connection)
{
    const ServerBehaviour& behaviour = connection.state->behaviour;
    const std::string& answer = connection.state->answer;
    if (behaviour.chunkBytes == 0)
        return SendAll(connection, answer.data(), answer.size());
    for (size_t offset = 0; offset < answer.size(); offset += behaviour.chunkBytes) {
        if (offset > 0 && !WaitAndRead(connection, behaviour.chunkDelayMs))
            return false;
        size_t piece = answer.size() - offset < behaviour.chunkBytes ? answer.size() - offset : behaviour.chunkBytes;
        if (!SendAll(connection, answer.data() + offset, piece))
            return false;
    }
    return true;
}

void Converse(Connection& connection)
{
    const ServerBehaviour& behaviour = connection.state->behaviour;
    if (behaviour.closeAtOnce)
        return;
    if (behaviour.readQueryLine && !ReadQueryLine(connection))
        return;
    if (behaviour.delayMs > 0 && !WaitAndRead(connection, behaviour.delayMs))
        return;
    if (behaviour.neverAnswer) {
        ReadUntilClosed(connection, -1);
        return;
    }
    if (!SendAnswer(connection))
        return;
    if (behaviour.closeAfterAnswer) {
        // Half-close first so the client reads the whole answer and then the end of it.
        shutdown(connection.socket, 1);
        ReadUntilClosed(connection, LINGER_AFTER_ANSWER_MS);
    } else {
        ReadUntilClosed(connection, -1);
    }
}

void ServeConnection(TestServerState* state, SOCKET client, int index)
{
    Connection connection{state, client, index, std::string(), false};
    Converse(connection);
    closesocket(client);
    std::lock_guard<std::mutex> lock(state->mutex);
    ++state->closedCount;
}

void AcceptConnections(TestServerState* state)
{
    while (!state->stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(state->listener, &readable);
        timeval timeout{0, SLICE_MS * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &timeout);
        if (ready < 0)
            Sleep(SLICE_MS);
        if (ready <= 0)
            continue;
        sockaddr_in from{};
        int fromSize = sizeof(from);
        SOCKET client = accept(state->listener, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (client == INVALID_SOCKET)
            continue;
        u_long nonBlocking = 1;
        ioctlsocket(client, FIONBIO, &nonBlocking);
        int index;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            index = static_cast<int>(state->queries.size());
            state->queries.emplace_back();
        }
        state->connectionThreads.emplace_back(ServeConnection, state, client, index);
    }
    for (std::thread& thread : state->connectionThreads)
        thread.join();
    state->connectionThreads.clear();
}

}  // namespace

TestServer::TestServer() : state(std::make_unique<TestServerState>()) {}

TestServer::~TestServer()
{
    StopTestServer(*this);
}

int StartTestServer(TestServer& server, const char* address, int port, const ServerBehaviour& behaviour)
{
    StopTestServer(server);
    server.state = std::make_unique<TestServerState>();
    TestServerState& state = *server.state;
    state.behaviour = behaviour;
    state.answer = behaviour.generatedBytes > 0 ? GeneratedAnswer(behaviour.generatedBytes) : behaviour.answer;

    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0)
        return 1;
    state.winsockStarted = true;

    state.listener = socket(AF_INET, SOCK_STREAM, 0);
    if (state.listener == INVALID_SOCKET) {
        StopTestServer(server);
        return 1;
    }
    // Earlier servers on the same port leave connections waiting out their close.
    BOOL reuse = TRUE;
    setsockopt(state.listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<u_short>(port));
    local.sin_addr.s_addr = inet_addr(address);
    u_long nonBlocking = 1;
    if (bind(state.listener, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(state.listener, SOMAXCONN) != 0 || ioctlsocket(state.listener, FIONBIO, &nonBlocking) != 0) {
        StopTestServer(server);
        return 1;
    }
    state.acceptThread = std::thread(AcceptConnections, &state);
    return 0;
}

void StopTestServer(TestServer& server)
{
    TestServerState& state = *server.state;
    state.stopping = true;
    if (state.acceptThread.joinable())
        state.acceptThread.join();
    if (state.listener != INVALID_SOCKET) {
        closesocket(state.listener);
        state.listener = INVALID_SOCKET;
    }
    if (state.winsockStarted) {
        WSACleanup();
        state.winsockStarted = false;
    }
}

int ServerConnectionCount(const TestServer& server)
{
    std::lock_guard<std::mutex> lock(server.state->mutex);
    return static_cast<int>(server.state->queries.size());
}

std::string ServerQuery(const TestServer& server, int index)
{
    std::lock_guard<std::mutex> lock(server.state->mutex);
    if (index < 0 || static_cast<size_t>(index) >= server.state->queries.size())
        return std::string();
    return server.state->queries[static_cast<size_t>(index)];
}

std::vector<std::string> ServerQueries(const TestServer& server)
{
    std::lock_guard<std::mutex> lock(server.state->mutex);
    return server.state->queries;
}

int ServerClosedCount(const TestServer& server)
{
    std::lock_guard<std::mutex> lock(server.state->mutex);
    return server.state->closedCount;
}

std::string GeneratedAnswer(size_t size)
{
    std::string answer;
    answer.reserve(size + 64);
    for (size_t line = 0; answer.size() < size; ++line) {
        char number[16];
        snprintf(number, sizeof(number), "%06u ", static_cast<unsigned>(line % 1000000));
        answer += number;
        for (size_t column = 0; column < 55; ++column)
            answer += static_cast<char>('a' + (line + column) % 26);
        answer += "\r\n";
    }
    answer.resize(size);
    return answer;
}
