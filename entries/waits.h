// Waiting for the program's mutexes without stalling the window threads.
#pragma once

#include <windows.h>

// Waits without time limit for a mutex (or any waitable handle). While it
// waits, messages that other threads send to this thread's windows are
// handled, so a thread that holds the mutex and sends to our windows can
// always finish. Does nothing for a null handle.
void WaitForMutex(HANDLE handle);
void ReleaseMutexIfAny(HANDLE handle);
