// Commands that act on the entries selected in the list.
#pragma once

#include <windows.h>

// Queues a finger job for every selected entry, in list order.
void FingerSelectedEntries(HWND owner);

// The View Last Output command: the stored answer of every selected entry.
void ViewLastOutput(HWND owner);

// The Jump To Last Output command: the caret goes to the first selected
// entry's latest block in the output pane.
void JumpToLastOutput();
