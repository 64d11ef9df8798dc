// Load Entries, Merge Entries, Save Entries and Save Selected Entries.
#pragma once

#include <windows.h>

// Replaces every entry (merge false) or adds the file's entries, each
// replacing the entries of its description (merge true). A file is read and
// checked whole before any entry changes.
void LoadEntriesFile(HWND owner, bool merge);

// Saves every listed entry, or the selected ones, in list order.
void SaveEntriesFile(HWND owner, bool selectedOnly);
