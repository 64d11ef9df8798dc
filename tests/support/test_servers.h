// A scriptable TCP server for tests: serves the connections to one loopback address and port in turn, in a thread.
#pragma once

#include <winsock.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ServerBehaviour {
    std::string answer{};       // sent once the query line (up to CR LF) has come in; any bytes
    size_t generatedBytes = 0;  // when not 0, GeneratedAnswer(generatedBytes) is sent instead
    size_t chunkBytes = 0;      // when not 0, the answer goes in pieces of this size, chunkDelayMs apart
    int chunkDelayMs = 0;
    bool neverAnswer = false;       // send nothing; keep the connection until the client closes it or the server stops
    bool closeAfterAnswer = true;   // false: keep the connection open after the answer, like neverAnswer
    bool endless = false;           // send the answer over and over until the client goes
    bool hangUpAtOnce = false;      // end the sending side on accepting, before the query is read
    bool resetAtEnd = false;        // end the connection with a reset instead of a close
    bool neverAccept = false;       // accept nothing and keep the queue full, so that no connect ever completes
    bool concurrent = false;        // serve each connection on a thread of its own instead of in turn
    int answerDelayMs = 0;          // wait this long after the query before answering, as a distant server would
};

// One run of a server; destroying it stops the thread within a tenth of a second.
struct TestServerState {
    ServerBehaviour behaviour;
    sockaddr_in address = {};
    SOCKET listener = INVALID_SOCKET;
    std::vector<SOCKET> queueFillers;  // the connections that fill a never-accepting listener's queue
    std::atomic<bool> stopping{false};
    std::thread thread;
    mutable std::mutex mutex;
    std::vector<std::string> queries;  // the bytes each connection received, in the order they were accepted
    std::atomic<int> connectionCount{0};
    std::atomic<int> closedCount{0};   // after the answer, after the client closed, or when the server stops
    std::atomic<int> openCount{0};
    std::atomic<int> mostOpen{0};      // the most connections that were open at once
    std::vector<std::thread> servers;  // the threads of concurrent connections
    ~TestServerState();
};

struct TestServer {
    std::unique_ptr<TestServerState> state = std::make_unique<TestServerState>();
};

// Stops the server, forgets what it recorded and listens on address:port; 1 when that cannot be bound or listened on.
int StartTestServer(TestServer& server, const char* address, int port, const ServerBehaviour& behaviour);
inline int ServerConnectionCount(const TestServer& server) { return server.state->connectionCount; }
// The bytes received so far on connection index (0 = first accepted).
std::string ServerQuery(const TestServer& server, int index);
inline int ServerClosedCount(const TestServer& server) { return server.state->closedCount; }
inline int ServerMostOpen(const TestServer& server) { return server.state->mostOpen; }

// Numbered 64-byte lines of text, each ending in CR LF, the last one cut at size.
std::string GeneratedAnswer(size_t size);
