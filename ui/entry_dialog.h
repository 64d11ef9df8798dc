// The entry dialog and its entry options dialog: every field of an entry that
// the user can set.
#pragma once

#include <windows.h>
#include "entries/finger_entry.h"

enum : int { TRIM_LEADING = 1, TRIM_TRAILING = 2 };

// Edits the record in place. 0 when the user confirmed with OK, -1 otherwise
// (the caller then discards the record). Afterwards the due entries are
// queued, the status bar is marked and the focus goes back where it was.
int EditFingerEntry(FingerEntry& entry, HWND owner, const char* title);

// Copies source to destination (size bytes, always terminated) without the
// leading (TRIM_LEADING) and/or trailing (TRIM_TRAILING) blanks and tabs, and
// returns the length of the result.
int TrimBlanks(char* destination, int size, const char* source, int mode);
