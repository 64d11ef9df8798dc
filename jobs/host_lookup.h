// Asynchronous host-name lookups for the finger and whois clients. The task
// thread starts a lookup, the main window receives its completion message
// and hands it to HostLookupDone, and the task thread waits for that.
#pragma once

#include <winsock.h>
#include <windows.h>
#include <cstdint>
#include "../entries/finger_entry.h"

// The message a finished lookup posts to the main window.
constexpr UINT WM_HOST_LOOKUP_DONE = WM_USER + 1;

// The completion bit the clients wait for.
constexpr uint32_t LOOKUP_DONE_BIT = 0x01;

struct HostLookupRecord {
    // LOOKUP_DONE_BIT is set when the lookup being waited for has finished.
    volatile LONG lookupDone;
    // Size of the lookup result (low word of the completion's lParam).
    volatile LONG lookupBufLen;
    // 0 on success, otherwise the lookup's Winsock error (high word of lParam).
    volatile LONG lookupError;
};

extern HostLookupRecord HostLookupState;

// The main window procedure calls this for every WM_USER+1 it receives, with
// the message's wParam and lParam. Only the completion of the lookup being
// waited for counts; a late completion of an abandoned lookup is dropped.
void HostLookupDone(WPARAM wParam, LPARAM lParam);

// Task thread: starts looking up host for the main window. Returns the
// request handle, or null when the request was refused at once.
HANDLE StartHostLookup(const char* host);

// Task thread: waits until the lookup has finished (result 0; lookupError
// then says how it went) or the job is killed or the program closes (result
// 1, after writing "** cancelled **\n\n" for the entry). A lookup that has
// not finished within the network time limit ends with lookupError
// WSAETIMEDOUT. Never holds the processor: it sleeps between its checks.
int WaitForHostLookup(HANDLE handle, const FingerEntry* entry, uint32_t bit);

// The first IPv4 address of the lookup that has just finished; 0 when there
// is one, 1 when the result holds none.
int HostLookupAddress(in_addr* address);

// The network time limit in milliseconds (Settings.networkTimeout seconds;
// 60 seconds when the setting is 0).
DWORD NetworkTimeoutMs();
