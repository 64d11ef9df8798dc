// A scriptable TCP server for tests: listens on one loopback address and
// port in a thread of the test process and answers every connection the
// way its behaviour says.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct ServerBehaviour {
    // The bytes sent back (any bytes, NULs too).
    std::string answer;
    // When not 0, send GeneratedAnswer(generatedBytes) instead of answer.
    size_t generatedBytes = 0;
    // Wait this long before answering (counted from the end of the query).
    int delayMs = 0;
    // When not 0, send the answer in pieces of this size with chunkDelayMs between them.
    size_t chunkBytes = 0;
    int chunkDelayMs = 0;
    // Close the connection right after accepting it, reading and sending nothing.
    bool closeAtOnce = false;
    // Accept and read, but never answer; the connection stays open until the
    // client closes it or the server stops.
    bool neverAnswer = false;
    // Read the query up to and including CRLF (or until the client stops
    // sending) before answering; false: answer at once.
    bool readQueryLine = true;
    // After answering: close (the client then sees the end of the answer);
    // false: keep the connection open until the client closes it or the server stops.
    bool closeAfterAnswer = true;
};

struct TestServerState;

// One running server. Stops itself when it goes out of scope.
struct TestServer {
    std::unique_ptr<TestServerState> state;
    TestServer();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;
};

// Starts listening on address:port (an IPv4 address such as "127.0.0.2").
// Returns 0 on success, 1 when the socket could not be made, bound or
// listened on. A server that runs is stopped first.
int StartTestServer(TestServer& server, const char* address, int port, const ServerBehaviour& behaviour);

// Closes the listening socket and every connection and ends the server's
// thread; returns within about half a second. Does nothing when stopped.
void StopTestServer(TestServer& server);

// How many connections the server has accepted.
int ServerConnectionCount(const TestServer& server);
// The bytes received on connection index (0 = first accepted), so far.
std::string ServerQuery(const TestServer& server, int index);
// The bytes received on every connection, in the order they were accepted.
std::vector<std::string> ServerQueries(const TestServer& server);
// How many connections have been closed by the server or the client.
int ServerClosedCount(const TestServer& server);

// The generated answer of the given size: numbered 64-byte lines of text,
// each ending in CRLF, the last one cut at size.
std::string GeneratedAnswer(size_t size);
