#include "jobs/host_lookup.h"

#include <cstring>

#include "jobs/job_queue.h"
#include "jobs/net_socket.h"

HostLookupRecord HostLookupState;

namespace {

// How often the wait looks at the completion bit and the cancel condition.
constexpr DWORD LOOKUP_CHECK_MS = 50;

// A lookup abandoned by a kill keeps its result buffer until its completion
// arrives, because the sockets library may still write into it. Where the
// library really cancels and no completion ever comes, the buffer is taken
// back after this long.
constexpr DWORD ABANDONED_RECLAIM_MS = 10 * 60 * 1000;

constexpr int LOOKUP_SLOTS = 16;

enum SlotState { SLOT_FREE, SLOT_AWAITED, SLOT_DONE, SLOT_ABANDONED };

struct LookupSlot {
    SlotState state;
    HANDLE request;
    DWORD abandonedAt;
    char result[MAXGETHOSTSTRUCT];
};

struct LookupTable {
    CRITICAL_SECTION lock;
    // Signalled by HostLookupDone so the waiting task thread wakes at once.
    HANDLE completed;
    LookupSlot slots[LOOKUP_SLOTS];
    // The slot of the lookup the task thread is waiting for (or has just
    // finished); null when there is none.
    LookupSlot* awaited;
    // Receives the completions (SetHostLookupWindow).
    HWND window;
};

LookupTable table;

void InitialiseTable()
{
    InitializeCriticalSection(&table.lock);
    table.completed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

// Both threads come here before touching the table; the first one sets it up.
void EnsureTable()
{
    static const bool ready = (InitialiseTable(), true);
    (void)ready;
}

void LockTable()
{
    EnsureTable();
    EnterCriticalSection(&table.lock);
}

void UnlockTable()
{
    LeaveCriticalSection(&table.lock);
}

LookupSlot* FindSlot(HANDLE request)
{
    for (LookupSlot& slot : table.slots) {
        if (slot.state != SLOT_FREE && slot.request == request)
            return &slot;
    }
    return nullptr;
}

LookupSlot* TakeFreeSlot()
{
    const DWORD now = GetTickCount();
    for (LookupSlot& slot : table.slots) {
        if (slot.state == SLOT_FREE || slot.state == SLOT_DONE)
            return &slot;
    }
    for (LookupSlot& slot : table.slots) {
        if (slot.state == SLOT_ABANDONED && now - slot.abandonedAt >= ABANDONED_RECLAIM_MS)
            return &slot;
    }
    return nullptr;
}

// Gives up the lookup being waited for; its buffer stays reserved while the
// library may still fill it.
void AbandonLookup(HANDLE handle)
{
    WSACancelAsyncRequest(handle);
    LockTable();
    LookupSlot* slot = table.awaited;
    if (slot && slot->request == handle) {
        if (slot->state == SLOT_AWAITED) {
            slot->state = SLOT_ABANDONED;
            slot->abandonedAt = GetTickCount();
        } else {
            slot->state = SLOT_FREE;
        }
    }
    table.awaited = nullptr;
    HostLookupState.lookupDone = 0;
    UnlockTable();
}

bool TakeCompletion()
{
    LockTable();
    const uint32_t done = static_cast<uint32_t>(HostLookupState.lookupDone);
    if (done & LOOKUP_DONE_BIT)
        HostLookupState.lookupDone = static_cast<LONG>(done & ~LOOKUP_DONE_BIT);
    UnlockTable();
    return (done & LOOKUP_DONE_BIT) != 0;
}

// Sleeps until the next check is due, waking early for a completion.
void AwaitNextCheck()
{
    if (!table.completed || WaitForSingleObject(table.completed, LOOKUP_CHECK_MS) == WAIT_FAILED)
        Sleep(LOOKUP_CHECK_MS);
}

// Starts looking host up; the request handle, or null when it was refused.
HANDLE StartHostLookup(const char* host)
{
    LockTable();
    HostLookupState.lookupDone = 0;
    HostLookupState.lookupBufLen = 0;
    HostLookupState.lookupError = 0;
    table.awaited = nullptr;
    HANDLE request = nullptr;
    if (LookupSlot* slot = TakeFreeSlot()) {
        memset(slot->result, 0, sizeof slot->result);
        slot->state = SLOT_FREE;
        // The table stays locked across the request, so a completion that
        // comes back at once waits until the slot knows its handle.
        request = WSAAsyncGetHostByName(table.window, WM_HOST_LOOKUP_DONE, host, slot->result,
                                        sizeof slot->result);
        if (request) {
            slot->request = request;
            slot->state = SLOT_AWAITED;
            table.awaited = slot;
            ResetEvent(table.completed);
        }
    }
    UnlockTable();
    return request;
}

// Waits until the lookup has finished (LOOKUP_FOUND: lookupError then says
// how it went) or the cancel condition is set; a lookup that has not
// finished within the network time limit ends with lookupError WSAETIMEDOUT.
int WaitForHostLookup(HANDLE handle)
{
    const DWORD started = GetTickCount();
    const DWORD limit = NetworkTimeoutMs();
    for (;;) {
        if (TakeCompletion())
            return LOOKUP_FOUND;
        if (JobsCancelled()) {
            AbandonLookup(handle);
            return LOOKUP_CANCELLED;
        }
        if (GetTickCount() - started >= limit) {
            AbandonLookup(handle);
            HostLookupState.lookupBufLen = 0;
            HostLookupState.lookupError = WSAETIMEDOUT;
            return LOOKUP_FOUND;
        }
        AwaitNextCheck();
    }
}

// The first IPv4 address of the lookup that has just finished; 0 when there
// is one, 1 when the result holds none.
int HostLookupAddress(in_addr* address)
{
    LockTable();
    int result = 1;
    const LookupSlot* slot = table.awaited;
    if (slot && slot->state == SLOT_DONE) {
        const auto* host = reinterpret_cast<const hostent*>(slot->result);
        if (host->h_addrtype == AF_INET && host->h_length == static_cast<short>(sizeof(in_addr)) &&
            host->h_addr_list && host->h_addr_list[0]) {
            memcpy(address, host->h_addr_list[0], sizeof(in_addr));
            result = 0;
        }
    }
    UnlockTable();
    return result;
}

}

void HostLookupDone(WPARAM wParam, LPARAM lParam)
{
    LockTable();
    LookupSlot* slot = FindSlot(reinterpret_cast<HANDLE>(wParam));
    if (slot && slot->state == SLOT_ABANDONED) {
        slot->state = SLOT_FREE;
    } else if (slot && slot == table.awaited && slot->state == SLOT_AWAITED) {
        slot->state = SLOT_DONE;
        HostLookupState.lookupBufLen = WSAGETASYNCBUFLEN(lParam);
        HostLookupState.lookupError = WSAGETASYNCERROR(lParam);
        HostLookupState.lookupDone =
            static_cast<LONG>(static_cast<uint32_t>(HostLookupState.lookupDone) | LOOKUP_DONE_BIT);
        SetEvent(table.completed);
    }
    UnlockTable();
}

void SetHostLookupWindow(HWND window)
{
    LockTable();
    table.window = window;
    UnlockTable();
}

int LookUpHost(const char* host, in_addr* address, int* error)
{
    HANDLE request = StartHostLookup(host);
    if (!request)
        return LOOKUP_REFUSED;
    const int waited = WaitForHostLookup(request);
    if (waited != LOOKUP_FOUND)
        return waited;
    *error = HostLookupState.lookupError;
    if (*error == 0 && HostLookupAddress(address) != 0)
        *error = WSANO_DATA;
    return *error == 0 ? LOOKUP_FOUND : LOOKUP_FAILED;
}
