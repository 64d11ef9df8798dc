// The list view of finger entries in the upper part of the main window.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include "entries/finger_entry.h"

typedef LVITEMA RowCursor;

// The list-view control, from its creation; null before.
extern HWND EntryListView;

HWND CreateEntryListView(HWND mainWindow);
void SetListViewStyle(int view);
void SaveColumnWidths();
// Empties the list and its image lists at once, in time linear in the rows.
void ClearEntryListView();
void FillEntryListView();
int InsertEntryRow(FingerEntry* entry);
int SetEntryRowIcon(FingerEntry* entry, const RowCursor* row, bool append);
// On another thread than the list's, the row is redrawn at the main thread's
// next idle point (ResortIfRequested).
int Redraw_FingerEntry(FingerEntry* entry);
void RedrawRow(int row);
void RedrawAllRows();
void ArrangeEntryListView();
void FocusEntryListView();
int FirstSelectedRow(RowCursor* row);
int NextSelectedRow(RowCursor* row);
int FirstRow(RowCursor* row);
int NextRow(RowCursor* row);
int CountSelectedRows();
void SelectAllRows();
void SortEntryListView();
void RequestResort();
// Main thread, at its idle point: redraws the rows other threads asked for,
// then sorts the list if a sort was asked for.
void ResortIfRequested();
void UpdateEntryMenu(HWND mainWindow, HMENU menu);
// Handles a notification of the list view, opening the context menu on a
// right click; false when it came from another control.
bool OnEntryListNotify(HWND mainWindow, const NMHDR* header, HMENU contextMenu);
int CALLBACK CompareEntryRows(LPARAM a, LPARAM b, LPARAM column);
void DumpEntryListView();
// The text of a column for an entry, as the list shows it.
void EntryColumnText(const FingerEntry* entry, int column, char* buffer, int size);

extern volatile LONG ResortRequested;
