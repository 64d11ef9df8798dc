#include "test_servers.h"

// Room for many open connections in one select.
#define FD_SETSIZE 512
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
    // Accepts and serves every connection in one select loop, so a new
    // connection is answered as soon as it arrives and a silent one holds
    // up no other.
    std::thread serveThread;

    mutable std::mutex mutex;
    std::vector<std::string> queries;
    int closedCount = 0;
};

namespace {

// The longest one select waits, and so how soon the loop sees a stop.
constexpr int SLICE_MS = 50;
constexpr int LINGER_AFTER_ANSWER_MS = 3000;

// Where a connection is in its conversation.
enum Stage {
    // Reading the query line.
    STAGE_QUERY,
    // Waiting out the delay before the answer.
    STAGE_DELAY,
    // Sending the current piece of the answer.
    STAGE_SEND,
    // Waiting between two pieces.
    STAGE_PAUSE,
    // Reading until the client closes, without limit.
    STAGE_SILENT,
    // Answered and half-closed: reading until the client closes or the linger ends.
    STAGE_LINGER,
    // To be closed.
    STAGE_DONE
};

// One accepted connection, owned by the serving thread.
struct Connection {
    SOCKET socket;
    int index;
    std::string received;
    bool peerClosed;
    Stage stage;
    // When the current stage began, and how long it lasts at most (delay, pause, linger).
    DWORD since;
    DWORD lastsMs;
    // The answer bytes sent so far, and the end of the piece being sent.
    size_t sent;
    size_t pieceEnd;
};

bool Elapsed(const Connection& connection, DWORD now)
{
    return now - connection.since >= connection.lastsMs;
}

void Enter(Connection& connection, Stage stage, DWORD now, DWORD lastsMs = 0)
{
    connection.stage = stage;
    connection.since = now;
    connection.lastsMs = lastsMs;
}

void Record(TestServerState* state, Connection& connection, const char* bytes, int count)
{
    connection.received.append(bytes, static_cast<size_t>(count));
    std::lock_guard<std::mutex> lock(state->mutex);
    state->queries[static_cast<size_t>(connection.index)].append(bytes, static_cast<size_t>(count));
}

// Takes whatever the client has sent; notes when it has closed.
void ReadAvailable(TestServerState* state, Connection& connection)
{
    char buffer[4096];
    int count = recv(connection.socket, buffer, sizeof(buffer), 0);
    if (count > 0)
        Record(state, connection, buffer, count);
    else if (count == 0 || WSAGetLastError() != WSAEWOULDBLOCK)
        connection.peerClosed = true;
}

// The piece that starts at the bytes sent so far.
void StartPiece(const TestServerState* state, Connection& connection, DWORD now)
{
    const size_t size = state->answer.size();
    const size_t chunk = state->behaviour.chunkBytes;
    connection.pieceEnd = chunk == 0 || size - connection.sent < chunk ? size : connection.sent + chunk;
    Enter(connection, STAGE_SEND, now);
}

// Sends as much of the current piece as the socket takes.
void SendSome(const TestServerState* state, Connection& connection)
{
    while (connection.sent < connection.pieceEnd) {
        int count = send(connection.socket, state->answer.data() + connection.sent,
                         static_cast<int>(connection.pieceEnd - connection.sent), 0);
        if (count > 0) {
            connection.sent += static_cast<size_t>(count);
        } else {
            if (WSAGetLastError() != WSAEWOULDBLOCK)
                connection.stage = STAGE_DONE;
            return;
        }
    }
}

void FinishAnswer(const TestServerState* state, Connection& connection, DWORD now)
{
    if (state->behaviour.closeAfterAnswer) {
        // Half-close first so the client reads the whole answer and then the end of it.
        shutdown(connection.socket, 1);
        Enter(connection, STAGE_LINGER, now, LINGER_AFTER_ANSWER_MS);
    } else {
        Enter(connection, STAGE_SILENT, now);
    }
}

// Moves the connection on as far as it can go without waiting.
void Advance(const TestServerState* state, Connection& connection, DWORD now)
{
    const ServerBehaviour& behaviour = state->behaviour;
    for (;;) {
        const Stage before = connection.stage;
        switch (connection.stage) {
        case STAGE_QUERY:
            if (!behaviour.readQueryLine || connection.peerClosed ||
                connection.received.find("\r\n") != std::string::npos)
                Enter(connection, STAGE_DELAY, now, static_cast<DWORD>(behaviour.delayMs > 0 ? behaviour.delayMs : 0));
            break;
        case STAGE_DELAY:
            if (!Elapsed(connection, now))
                break;
            if (behaviour.neverAnswer)
                Enter(connection, STAGE_SILENT, now);
            else
                StartPiece(state, connection, now);
            break;
        case STAGE_SEND:
            SendSome(state, connection);
            if (connection.stage == STAGE_SEND && connection.sent == connection.pieceEnd) {
                if (connection.sent == state->answer.size())
                    FinishAnswer(state, connection, now);
                else
                    Enter(connection, STAGE_PAUSE, now, static_cast<DWORD>(behaviour.chunkDelayMs));
            }
            break;
        case STAGE_PAUSE:
            if (Elapsed(connection, now))
                StartPiece(state, connection, now);
            break;
        case STAGE_SILENT:
            if (connection.peerClosed)
                connection.stage = STAGE_DONE;
            break;
        case STAGE_LINGER:
            if (connection.peerClosed || Elapsed(connection, now))
                connection.stage = STAGE_DONE;
            break;
        case STAGE_DONE:
            break;
        }
        if (connection.stage == before)
            return;
    }
}

void CloseConnection(TestServerState* state, Connection& connection)
{
    closesocket(connection.socket);
    std::lock_guard<std::mutex> lock(state->mutex);
    ++state->closedCount;
}

// Takes every waiting connection from the listener.
void AcceptWaiting(TestServerState* state, std::vector<Connection>& connections, DWORD now)
{
    while (connections.size() < FD_SETSIZE - 1) {
        sockaddr_in from{};
        int fromSize = sizeof(from);
        SOCKET client = accept(state->listener, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (client == INVALID_SOCKET)
            return;
        u_long nonBlocking = 1;
        ioctlsocket(client, FIONBIO, &nonBlocking);
        Connection connection{client, 0, std::string(), false, STAGE_QUERY, now, 0, 0, 0};
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            connection.index = static_cast<int>(state->queries.size());
            state->queries.emplace_back();
        }
        if (state->behaviour.closeAtOnce)
            connection.stage = STAGE_DONE;
        else if (state->behaviour.readQueryLine)
            ReadAvailable(state, connection);
        connections.push_back(std::move(connection));
    }
}

// How long the next select may wait: until the first delay, pause or
// linger ends, at most one slice.
long WaitMs(const std::vector<Connection>& connections, DWORD now)
{
    DWORD wait = SLICE_MS;
    for (const Connection& connection : connections) {
        if (connection.stage != STAGE_DELAY && connection.stage != STAGE_PAUSE && connection.stage != STAGE_LINGER)
            continue;
        const DWORD passed = now - connection.since;
        const DWORD left = passed >= connection.lastsMs ? 0 : connection.lastsMs - passed;
        if (left < wait)
            wait = left;
    }
    return static_cast<long>(wait);
}

void Serve(TestServerState* state)
{
    std::vector<Connection> connections;
    while (!state->stopping) {
        DWORD now = GetTickCount();
        for (Connection& connection : connections)
            Advance(state, connection, now);
        for (size_t i = connections.size(); i-- > 0;) {
            if (connections[i].stage == STAGE_DONE) {
                CloseConnection(state, connections[i]);
                connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }

        fd_set readable;
        fd_set writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        if (connections.size() < FD_SETSIZE - 1)
            FD_SET(state->listener, &readable);
        for (const Connection& connection : connections) {
            if (!connection.peerClosed)
                FD_SET(connection.socket, &readable);
            if (connection.stage == STAGE_SEND)
                FD_SET(connection.socket, &writable);
        }
        timeval timeout{0, WaitMs(connections, now) * 1000};
        int ready = select(0, &readable, &writable, nullptr, &timeout);
        if (ready < 0)
            Sleep(SLICE_MS);
        if (ready <= 0)
            continue;
        now = GetTickCount();
        for (Connection& connection : connections) {
            if (FD_ISSET(connection.socket, &readable))
                ReadAvailable(state, connection);
        }
        if (FD_ISSET(state->listener, &readable))
            AcceptWaiting(state, connections, now);
    }
    for (Connection& connection : connections)
        CloseConnection(state, connection);
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
    state.serveThread = std::thread(Serve, &state);
    return 0;
}

void StopTestServer(TestServer& server)
{
    TestServerState& state = *server.state;
    state.stopping = true;
    if (state.serveThread.joinable())
        state.serveThread.join();
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
