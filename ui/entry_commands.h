// Commands that act on the entries selected in the list.
#pragma once

#include <windows.h>
#include <vector>

#include "entries/finger_entry.h"

// Appends a copy of the record to the entry list and, unless it is temporary,
// gives it a row. Null when memory ran out (the user has been told).
FingerEntry* AddNewEntry(const FingerEntry& prototype);

// Lets go of one listed entry: its queued jobs, its change notification, its
// monitor file and its record. 1, with nothing touched, while its job runs.
// The caller owns the rows: none may show the entry afterwards.
int DiscardEntry(FingerEntry* entry);

// Discards the entries in order up to the first whose job is running, and
// rebuilds the rows once. Returns how many went; *refused is the entry that
// stopped it, or null.
int DeleteEntries(const std::vector<FingerEntry*>& entries, FingerEntry** refused);

// The selected rows' entries, in list order.
std::vector<FingerEntry*> SelectedEntries();

void NewEntry(HWND owner);
void EditEntryProperties(HWND owner);
// Queues a finger job for every selected entry, in list order.
void FingerSelectedEntries(HWND owner);
void ClearFingerCount(HWND owner);
void DeleteSelectedEntries(HWND owner);
void SetGroupsOfSelection(HWND owner);

// The View Last Output command: the stored answer of every selected entry.
void ViewLastOutput(HWND owner);

// The Jump To Last Output command: the caret goes to the first selected
// entry's latest block in the output pane.
void JumpToLastOutput();
