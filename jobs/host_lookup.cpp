#include "jobs/host_lookup.h"

#include <cstring>

#include "jobs/job_queue.h"
#include "jobs/net_socket.h"

namespace {

// How often a wait looks at the cancel condition and the clock when no
// completion wakes it.
constexpr DWORD LOOKUP_CHECK_MS = 50;
// A lookup abandoned by a kill keeps its result buffer until its completion
// arrives, because the sockets library may still write into it. Where the
// library really cancels and no completion ever comes, the buffer is taken
// back after this long.
constexpr DWORD ABANDONED_RECLAIM_MS = 10 * 60 * 1000;
// Room for every fetch thread at once and for the abandoned lookups whose
// completions are still to come.
constexpr int LOOKUP_SLOTS = 96;

enum SlotState { SLOT_FREE, SLOT_AWAITED, SLOT_DONE, SLOT_ABANDONED };

struct LookupSlot {
    SlotState state;
    HANDLE request;
    DWORD abandonedAt;
    HostLookupRecord record;
    // Set by the completion, so that the one thread waiting wakes at once.
    HANDLE completed;
    char result[MAXGETHOSTSTRUCT];
};

struct LookupTable {
    CRITICAL_SECTION lock;
    LookupSlot slots[LOOKUP_SLOTS];
    // Receives the completions (SetHostLookupWindow).
    HWND window;
};

LookupTable table;

void InitialiseTable()
{
    InitializeCriticalSection(&table.lock);
    for (LookupSlot& slot : table.slots)
        slot.completed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// Every thread comes here before touching the table; the first one sets it up.
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
        if (slot.state == SLOT_FREE)
            return &slot;
    }
    for (LookupSlot& slot : table.slots) {
        if (slot.state == SLOT_ABANDONED && now - slot.abandonedAt >= ABANDONED_RECLAIM_MS)
            return &slot;
    }
    return nullptr;
}

// Gives the slot up; its buffer stays reserved while the library may still
// fill it.
void AbandonLookup(LookupSlot* slot)
{
    WSACancelAsyncRequest(slot->request);
    LockTable();
    if (slot->state == SLOT_AWAITED) {
        slot->state = SLOT_ABANDONED;
        slot->abandonedAt = GetTickCount();
    } else {
        slot->state = SLOT_FREE;
    }
    UnlockTable();
}

bool LookupFinished(const LookupSlot* slot)
{
    LockTable();
    const bool done = (static_cast<uint32_t>(slot->record.lookupDone) & LOOKUP_DONE_BIT) != 0;
    UnlockTable();
    return done;
}

// Starts looking host up; the slot that waits for it, or null when the
// lookup was refused.
LookupSlot* StartHostLookup(const char* host)
{
    LockTable();
    LookupSlot* slot = TakeFreeSlot();
    if (slot) {
        memset(slot->result, 0, sizeof slot->result);
        slot->record = {};
        slot->state = SLOT_FREE;
        ResetEvent(slot->completed);
        // The table stays locked across the request, so a completion that
        // comes back at once waits until the slot knows its handle.
        slot->request = WSAAsyncGetHostByName(table.window, WM_HOST_LOOKUP_DONE, host, slot->result,
                                              sizeof slot->result);
        if (slot->request)
            slot->state = SLOT_AWAITED;
        else
            slot = nullptr;
    }
    UnlockTable();
    return slot;
}

// Waits until the lookup has finished (LOOKUP_FOUND: the slot's record then
// says how it went), the cancel condition is set (LOOKUP_CANCELLED) or the
// network time limit has passed (LOOKUP_FAILED). Only a finished lookup
// keeps its slot for the caller.
int WaitForHostLookup(LookupSlot* slot)
{
    const DWORD started = GetTickCount();
    const DWORD limit = NetworkTimeoutMs();
    for (;;) {
        if (LookupFinished(slot))
            return LOOKUP_FOUND;
        if (FetchCancelled()) {
            AbandonLookup(slot);
            return LOOKUP_CANCELLED;
        }
        if (GetTickCount() - started >= limit) {
            AbandonLookup(slot);
            return LOOKUP_FAILED;
        }
        if (!slot->completed || WaitForSingleObject(slot->completed, LOOKUP_CHECK_MS) == WAIT_FAILED)
            Sleep(LOOKUP_CHECK_MS);
    }
}

// The first IPv4 address of the finished lookup; 0 when there is one, 1 when
// the result holds none.
int HostLookupAddress(const LookupSlot* slot, in_addr* address)
{
    const auto* host = reinterpret_cast<const hostent*>(slot->result);
    if (host->h_addrtype == AF_INET && host->h_length == static_cast<short>(sizeof(in_addr)) && host->h_addr_list &&
        host->h_addr_list[0]) {
        memcpy(address, host->h_addr_list[0], sizeof(in_addr));
        return 0;
    }
    return 1;
}

// Four decimal numbers of 0 to 255 between three dots, as inet_addr reads
// them the same on every system.
bool IsDottedAddress(const char* host)
{
    int parts = 0;
    for (const char* at = host;; ++at) {
        int value = 0;
        int digits = 0;
        for (; *at >= '0' && *at <= '9' && digits < 4; ++at, ++digits)
            value = value * 10 + (*at - '0');
        if (digits == 0 || digits > 3 || value > 255)
            return false;
        ++parts;
        if (*at == '\0')
            return parts == 4;
        if (*at != '.' || parts == 4)
            return false;
    }
}

}

void HostLookupDone(WPARAM wParam, LPARAM lParam)
{
    LockTable();
    LookupSlot* slot = FindSlot(reinterpret_cast<HANDLE>(wParam));
    if (slot && slot->state == SLOT_ABANDONED) {
        slot->state = SLOT_FREE;
    } else if (slot && slot->state == SLOT_AWAITED) {
        slot->state = SLOT_DONE;
        slot->record.lookupBufLen = WSAGETASYNCBUFLEN(lParam);
        slot->record.lookupError = WSAGETASYNCERROR(lParam);
        slot->record.lookupDone = static_cast<LONG>(LOOKUP_DONE_BIT);
        SetEvent(slot->completed);
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
    // A dotted address is its own answer: no lookup, and no trip through the
    // main window, which is busy showing answers.
    if (IsDottedAddress(host)) {
        address->s_addr = inet_addr(host);
        return LOOKUP_FOUND;
    }
    LookupSlot* slot = StartHostLookup(host);
    if (!slot)
        return LOOKUP_REFUSED;
    const int waited = WaitForHostLookup(slot);
    if (waited == LOOKUP_FAILED)
        *error = WSAETIMEDOUT;
    if (waited != LOOKUP_FOUND)
        return waited;
    *error = slot->record.lookupError;
    if (*error == 0 && HostLookupAddress(slot, address) != 0)
        *error = WSANO_DATA;
    LockTable();
    slot->state = SLOT_FREE;
    UnlockTable();
    return *error == 0 ? LOOKUP_FOUND : LOOKUP_FAILED;
}
