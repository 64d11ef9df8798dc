// A critical section that threads share from whichever of them comes first:
// kept in a function-local static, which is made once even when two threads
// come at once. Held for a scope with std::lock_guard.
#pragma once

#include <windows.h>

struct SharedLock {
    CRITICAL_SECTION section;
    SharedLock() { InitializeCriticalSection(&section); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;
    void lock() { EnterCriticalSection(&section); }
    void unlock() { LeaveCriticalSection(&section); }
};
