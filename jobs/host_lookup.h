// Asynchronous host-name lookups for the finger and whois clients. A fetch
// thread starts a lookup, the main window receives its completion message
// and hands it to HostLookupDone, and the fetch thread waits for that.
// Several fetch threads may each wait for a lookup of their own.
#pragma once

#include <winsock.h>
#include <windows.h>
#include <cstdint>

// The message a finished lookup posts to the main window.
constexpr UINT WM_HOST_LOOKUP_DONE = WM_USER + 1;

// The completion bit the clients wait for.
constexpr uint32_t LOOKUP_DONE_BIT = 0x01;

// How one lookup ended, as its completion message told.
struct HostLookupRecord {
    // LOOKUP_DONE_BIT is set when the lookup has finished.
    volatile LONG lookupDone;
    // Size of the lookup result (low word of the completion's lParam).
    volatile LONG lookupBufLen;
    // 0 on success, otherwise the lookup's Winsock error (high word of lParam).
    volatile LONG lookupError;
};

// The main window procedure calls this for every WM_USER+1 it receives, with
// the message's wParam and lParam. Only the completion of a lookup that is
// waited for counts; a late completion of an abandoned lookup is dropped.
void HostLookupDone(WPARAM wParam, LPARAM lParam);

// Main thread: the window the lookups post their completion to (the main
// window, whose procedure hands it to HostLookupDone).
void SetHostLookupWindow(HWND window);

enum LookupResult : int {
    LOOKUP_FOUND = 0,
    // The sockets library refused to start the lookup.
    LOOKUP_REFUSED = 1,
    // A kill or shutdown was requested while waiting; the lookup is abandoned.
    LOOKUP_CANCELLED = 2,
    // The host is unknown, has no IPv4 address or was not found within the
    // network time limit (WSAETIMEDOUT); error holds the Winsock code.
    LOOKUP_FAILED = 3,
};

// Fetch thread: looks host up and waits for the completion, the fetch's
// cancel condition or the network time limit. Never holds the processor: it sleeps
// between its checks.
int LookUpHost(const char* host, in_addr* address, int* error);
