// Figures of the saved entries file: saving, merging and loading large lists.
#pragma once

#include <windows.h>

// Saves 1 000 and 10 000 entries through the File menu's commands, merges the
// file back over them (every entry replaced) and loads it (all replaced);
// leaves the list empty.
void EntriesFileFigures(HWND window);
