#include "entries/waits.h"

void WaitForMutex(HANDLE handle)
{
    if (!handle)
        return;
    for (;;) {
        DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1)
            return;
        // Handles the messages sent to this thread's windows and nothing else.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void ReleaseMutexIfAny(HANDLE handle)
{
    if (handle)
        ReleaseMutex(handle);
}
