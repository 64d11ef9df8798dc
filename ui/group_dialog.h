// The group assignment dialog and the group name dialog.
#pragma once

#include <windows.h>
#include "entries/finger_entry.h"

// Single mode edits target, the record of the entry dialog. Otherwise the
// selected rows' entries change at once and target (the first selected one)
// only names the dialog. The rows are redrawn afterwards.
void AssignGroups(HWND owner, FingerEntry* target, int entryCount, bool singleMode);

// Renames group 2, 3 or 4 (#1 to #3); a call while the dialog is open does
// nothing.
void RenameGroup(HWND owner, int group);
