#include "jobs/net_socket.h"

#include <cstdint>

#include "entries/settings.h"
#include "jobs/job_queue.h"

namespace {

// The longest slice a socket wait sleeps before it looks at the cancel
// condition and the clock again.
constexpr DWORD SOCKET_CHECK_MS = 100;

enum SocketWait { WAIT_READ, WAIT_WRITE, WAIT_CONNECT };

int PendingSocketError(SOCKET netSocket)
{
    int code = 0;
    int size = sizeof code;
    if (getsockopt(netSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size) == SOCKET_ERROR)
        return WSAGetLastError();
    return code;
}

// Waits in short slices until the socket is ready for what is asked, a kill
// or shutdown is requested, or the network time limit has passed.
int WaitForSocket(SOCKET netSocket, SocketWait what, int* error)
{
    const DWORD started = GetTickCount();
    const DWORD limit = NetworkTimeoutMs();
    for (;;) {
        if (FetchCancelled())
            return NET_CANCELLED;
        const DWORD elapsed = GetTickCount() - started;
        if (elapsed >= limit) {
            *error = WSAETIMEDOUT;
            return NET_TIMED_OUT;
        }
        const DWORD slice = limit - elapsed < SOCKET_CHECK_MS ? limit - elapsed : SOCKET_CHECK_MS;
        fd_set ready;
        fd_set failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(netSocket, &ready);
        FD_SET(netSocket, &failed);
        timeval wait = {0, static_cast<long>(slice * 1000)};
        const int count = select(0, what == WAIT_READ ? &ready : nullptr, what == WAIT_READ ? nullptr : &ready,
                                 what == WAIT_CONNECT ? &failed : nullptr, &wait);
        if (count == SOCKET_ERROR) {
            *error = WSAGetLastError();
            return NET_FAILED;
        }
        if (count == 0)
            continue;
        // A failed connection is reported among the failed sockets; asking
        // a connected one for its error would cost a call for nothing.
        if (what == WAIT_CONNECT && FD_ISSET(netSocket, &failed)) {
            const int code = PendingSocketError(netSocket);
            *error = code != 0 ? code : WSAECONNREFUSED;
            return NET_FAILED;
        }
        return NET_DONE;
    }
}

}

DWORD NetworkTimeoutMs()
{
    // A day is far beyond any sensible limit and keeps the product in range.
    constexpr uint32_t LONGEST_SECONDS = 24 * 60 * 60;
    uint32_t seconds = Settings.networkTimeout;
    if (seconds == 0)
        seconds = 60;
    if (seconds > LONGEST_SECONDS)
        seconds = LONGEST_SECONDS;
    return seconds * 1000;
}

SOCKET OpenNetSocket()
{
    SOCKET netSocket = socket(AF_INET, SOCK_STREAM, 0);
    if (netSocket == INVALID_SOCKET)
        return INVALID_SOCKET;
    u_long nonBlocking = 1;
    if (ioctlsocket(netSocket, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        closesocket(netSocket);
        WSASetLastError(code);
        return INVALID_SOCKET;
    }
    return netSocket;
}

int ConnectNetSocket(SOCKET netSocket, const sockaddr_in& address, int* error)
{
    if (connect(netSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return NET_DONE;
    const int code = WSAGetLastError();
    if (code != WSAEWOULDBLOCK && code != WSAEINPROGRESS) {
        *error = code;
        return NET_FAILED;
    }
    return WaitForSocket(netSocket, WAIT_CONNECT, error);
}

int SendNetBytes(SOCKET netSocket, const char* bytes, int length, int* error)
{
    int sent = 0;
    while (sent < length) {
        const int count = send(netSocket, bytes + sent, length - sent, 0);
        if (count != SOCKET_ERROR) {
            sent += count;
            continue;
        }
        const int code = WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            *error = code;
            return NET_FAILED;
        }
        const int waited = WaitForSocket(netSocket, WAIT_WRITE, error);
        if (waited != NET_DONE)
            return waited;
    }
    return NET_DONE;
}

int WaitForNetBytes(SOCKET netSocket, int* error)
{
    return WaitForSocket(netSocket, WAIT_READ, error);
}
