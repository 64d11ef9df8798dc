// The rich-text output pane in which every answer is shown.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <richedit.h>
#include "entries/finger_entry.h"

extern HWND OutputWindow;
extern HANDLE OutputMutex;
extern OPENFILENAMEA OutputSaveDialog;

HWND CreateOutputWindow(HWND mainWindow);
// The menu the pane opens on a right click.
void SetOutputMenu(HMENU menu);
void LockOutput();
void UnlockOutput();
void MoveCaretToEnd();
void ScrollToCaret();
void JumpToEntryOutput(const FingerEntry* entry);
void BuildCharFormat(CHARFORMATA& format, const FingerEntry* entry);
void AppendText(const char* text);
void AppendEntryText(const FingerEntry* entry, const char* text);
int StreamBufferToOutput(const FingerEntry* entry, const char* buffer, uint32_t length);
// Task thread: text for the open block of the entry, gathered and written in
// one write when HoldEntryText's caller is about to wait (WriteHeldText), or
// when the block ends: each write to the pane costs far more than its bytes.
void HoldEntryText(const FingerEntry* entry, const char* text, uint32_t length);
void WriteHeldText();
void BeginEntryOutput(FingerEntry* entry);
// Writes the held text first.
void EndEntryOutput(FingerEntry* entry);
void RecycleEntryOutput(FingerEntry* entry);
// Refused with a box while a job's output block is open.
void ClearOutput();
void SaveOutput();
void CopyOutput();
