// The locks the program's threads share, and waiting for them without
// stalling the window threads.
#pragma once

#include <windows.h>

#include <atomic>

// A lock of this process, which the thread holding it may take again. A
// Win32 mutex costs a call into the system on every wait and release, many
// times over for every job; this lock costs one only when a thread has to
// wait for it, or releases it while another waits. A thread that waits keeps
// handling the messages other threads send to its windows, so a thread that
// holds the lock and sends to those windows can always finish. A lock with
// static storage is ready at once; a lock is closed only when no thread uses
// it any more.
struct ProgramLock {
    // The holder's thread id, or 0, and how many times it has taken the lock.
    std::atomic<DWORD> owner;
    DWORD depth;
    // Threads waiting, and the auto-reset event that wakes one of them,
    // made at the first wait.
    std::atomic<LONG> waiters;
    std::atomic<HANDLE> wake;
};

// Waits without time limit.
void TakeLock(ProgramLock& lock);
// Takes the lock only when no thread holds it, this one included; false
// otherwise.
bool TryTakeLock(ProgramLock& lock);
// Does nothing on a thread that does not hold the lock.
void ReleaseLock(ProgramLock& lock);
// Waits until no thread holds the lock and frees its event.
void CloseLock(ProgramLock& lock);
