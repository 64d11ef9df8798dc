// Non-blocking TCP sockets for the clients. Every wait looks at the cancel
// condition (a kill or shutdown) at least every 100 ms and gives up after the
// network time limit.
#pragma once

#include <winsock.h>
#include <windows.h>

// Closes the socket when it goes out of scope.
struct NetSocket {
    SOCKET handle;
    explicit NetSocket(SOCKET s) : handle(s) {}
    ~NetSocket()
    {
        if (handle != INVALID_SOCKET)
            closesocket(handle);
    }
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;
};

enum NetResult : int {
    NET_DONE = 0,
    // A kill or shutdown was requested while waiting.
    NET_CANCELLED = 1,
    // Nothing happened within the network time limit (error WSAETIMEDOUT).
    NET_TIMED_OUT = 2,
    // The sockets library reported an error.
    NET_FAILED = 3,
};

// The network time limit in milliseconds (Settings.networkTimeout seconds;
// 60 seconds when the setting is 0).
DWORD NetworkTimeoutMs();

// A non-blocking TCP socket; INVALID_SOCKET on failure (WSAGetLastError
// says why).
SOCKET OpenNetSocket();
// Connects; on anything but NET_DONE, error holds the Winsock code.
int ConnectNetSocket(SOCKET netSocket, const sockaddr_in& address, int* error);
// Sends all length bytes; on anything but NET_DONE, error holds the code.
int SendNetBytes(SOCKET netSocket, const char* bytes, int length, int* error);
// Waits until the socket has bytes (or the end of the stream) to receive.
int WaitForNetBytes(SOCKET netSocket, int* error);
