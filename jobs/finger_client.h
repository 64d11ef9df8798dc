// The finger client: one RFC 1288 query for the running job's entry.
#pragma once

#include <winsock.h>
#include <windows.h>
#include <cstdint>
#include "../entries/finger_entry.h"

// Task thread: fingers the entry's address and shows (or opens) and records
// the answer. Returns 0 when the answer was delivered (also when it was cut
// short by the buffer limit, a receive error or the time limit), 1 when the
// finger stopped before that (a failure, or a kill or shutdown).
int FingerAddress(FingerEntry* entry);

// Writes "** Finger cancelled **\n\n" and returns 1 when a kill or shutdown
// has been requested (closing the finger socket when asked), else returns 0.
int CheckFingerCancel(const FingerEntry* entry, bool closeSocket);

// The query line for a user part: "/W" in front for long output (followed
// by a blank when the user part is not empty), CR LF behind. Returns its
// length; size must leave room for the longest user part (FINGER_QUERY_SIZE).
constexpr int FINGER_QUERY_SIZE = 160;
int BuildFingerQuery(char* query, int size, const char* user, bool longOutput);

// A message line of a job: into the output pane in the entry's format, and
// into the log when the entry logs its output.
void EmitJobMessage(const FingerEntry* entry, const char* text);

// "Received %i bytes" in the progress part of the status bar.
void ShowReceivedBytes(int count);

// Socket steps shared by the finger and whois clients. Sockets are
// non-blocking; every wait looks at the cancel condition at least every
// 100 ms and gives up after the network time limit.
enum NetResult : int {
    NET_DONE = 0,
    // A kill or shutdown was requested while waiting.
    NET_CANCELLED = 1,
    // Nothing happened within the network time limit (error WSAETIMEDOUT).
    NET_TIMED_OUT = 2,
    // The sockets library reported an error.
    NET_FAILED = 3,
};

// Looks the host up through the main window and finds the TCP port of the
// service. Returns 0 with the target filled in, or 1 after the failure has
// been written for the entry (a cancel while locating included). A failed
// lookup names its error code, or also the code's name with namedErrors.
int LocateService(const FingerEntry* entry, const char* host, const char* serviceName, bool namedErrors,
                  sockaddr_in* target);

// A non-blocking TCP socket; INVALID_SOCKET on failure (WSAGetLastError
// says why).
SOCKET OpenNetSocket();
// Connects; on anything but NET_DONE, error holds the Winsock code.
int ConnectNetSocket(SOCKET netSocket, const sockaddr_in& address, int* error);
// Sends all length bytes; on anything but NET_DONE, error holds the code.
int SendNetBytes(SOCKET netSocket, const char* bytes, int length, int* error);
// Waits until the socket has bytes (or the end of the stream) to receive.
int WaitForNetBytes(SOCKET netSocket, int* error);

enum AnswerEnd : int {
    // The server closed the connection.
    ANSWER_COMPLETE = 0,
    // The server had more to say than AnswerBuffer holds.
    ANSWER_TRUNCATED = 1,
    // A receive error, or the server stayed silent past the time limit.
    ANSWER_FAILED = 2,
    // A kill or shutdown was requested; the caller reports it.
    ANSWER_CANCELLED = 3,
};

struct AnswerReceipt {
    AnswerEnd end;
    // Bytes received into AnswerBuffer; a NUL follows them.
    uint32_t total;
    // The Winsock code of ANSWER_FAILED.
    int error;
};

// Receives the answer into AnswerBuffer, at most Settings.maxAllocSize
// bytes, showing the progress in the status bar. With show, every piece is
// put into the output pane as it arrives (all of its bytes, NULs too); with
// log, every piece is also appended to the log. An answer that fills the
// buffer exactly and then ends is complete, not truncated. With endShown:
// when the server closes right after the last piece, that piece is shown
// together with the line end that follows every answer, and *endShown
// tells so.
AnswerReceipt ReceiveAnswer(SOCKET netSocket, const FingerEntry* entry, bool show, bool log,
                            bool* endShown = nullptr);
