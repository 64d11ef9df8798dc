// A scriptable TCP server for tests: listens on one loopback address and
// port and answers every connection, each in a thread of its own.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct ServerBehaviour {
    // Sent once the query line (up to CR LF) has come in; any bytes.
    std::string answer;
    // When not 0, GeneratedAnswer(generatedBytes) is sent instead.
    size_t generatedBytes = 0;
    // When not 0, the answer goes in pieces of this size, chunkDelayMs apart.
    size_t chunkBytes = 0;
    int chunkDelayMs = 0;
    // Read the query but send nothing, keeping the connection open until the
    // client closes it or the server stops.
    bool neverAnswer = false;
    // false: keep the connection open after the answer, like neverAnswer.
    bool closeAfterAnswer = true;
};

struct TestServerState;

// Stops when it goes out of scope, closing every connection within about
// half a second.
struct TestServer {
    std::unique_ptr<TestServerState> state;
    TestServer();
    ~TestServer();
};

// Starts listening on address:port, stopping the server first and
// forgetting what it recorded. Returns 0, or 1 when the address could not
// be bound or listened on.
int StartTestServer(TestServer& server, const char* address, int port, const ServerBehaviour& behaviour);

int ServerConnectionCount(const TestServer& server);
// The bytes received so far on connection index (0 = first accepted).
std::string ServerQuery(const TestServer& server, int index);
// Closed after the answer, after the client closed, or when the server stopped.
int ServerClosedCount(const TestServer& server);

// Numbered 64-byte lines of text, each ending in CR LF, the last one cut at size.
std::string GeneratedAnswer(size_t size);
