// Commands that act on the entries selected in the list.
#pragma once

#include <windows.h>

// Queues a finger job for every selected entry, in list order.
void FingerSelectedEntries(HWND owner);
