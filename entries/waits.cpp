#include "entries/waits.h"

namespace {

// The lock's event, made by the first thread that has to wait.
HANDLE WakeEvent(ProgramLock& lock)
{
    HANDLE wake = lock.wake.load();
    if (wake)
        return wake;
    HANDLE made = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!made)
        return nullptr;
    if (lock.wake.compare_exchange_strong(wake, made))
        return made;
    CloseHandle(made);
    return wake;
}

bool TryTake(ProgramLock& lock, DWORD self)
{
    DWORD free = 0;
    if (!lock.owner.compare_exchange_strong(free, self))
        return false;
    lock.depth = 1;
    return true;
}

// Sleeps until the event is set, handling the messages sent to this thread's
// windows and nothing else. Without an event it looks again every
// millisecond.
void SleepForWake(HANDLE wake)
{
    for (;;) {
        const DWORD count = wake ? 1 : 0;
        const DWORD result = MsgWaitForMultipleObjects(count, &wake, FALSE, wake ? INFINITE : 1, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + count)
            return;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}

void TakeLock(ProgramLock& lock)
{
    const DWORD self = GetCurrentThreadId();
    if (lock.owner.load() == self) {
        ++lock.depth;
        return;
    }
    while (!TryTake(lock, self)) {
        HANDLE wake = WakeEvent(lock);
        // Counted as a waiter before the second try, so a holder that
        // releases after that try sees the count and sets the event.
        ++lock.waiters;
        const bool taken = TryTake(lock, self);
        if (!taken)
            SleepForWake(wake);
        --lock.waiters;
        if (taken)
            return;
    }
}

bool TryTakeLock(ProgramLock& lock)
{
    return TryTake(lock, GetCurrentThreadId());
}

void ReleaseLock(ProgramLock& lock)
{
    if (lock.owner.load() != GetCurrentThreadId() || --lock.depth > 0)
        return;
    lock.owner.store(0);
    if (lock.waiters.load() > 0) {
        if (HANDLE wake = lock.wake.load())
            SetEvent(wake);
    }
}

void CloseLock(ProgramLock& lock)
{
    TakeLock(lock);
    ReleaseLock(lock);
    if (HANDLE wake = lock.wake.exchange(nullptr))
        CloseHandle(wake);
}
