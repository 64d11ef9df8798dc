// The rich-text output pane in which every answer is shown.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <richedit.h>
#include "entries/finger_entry.h"
#include "entries/waits.h"

extern HWND OutputWindow;
extern ProgramLock OutputMutex;
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
// Task thread: text for the open block of the entry. It is queued for the
// pane's thread, which writes it when WriteHeldText wakes it (the task thread
// does so before it waits, and at the end of the block), or before anything
// else that thread does with the pane. Consecutive texts of one entry become
// one write: each write costs the pane far more than its bytes. The task
// thread waits only when a great deal is queued.
void HoldEntryText(const FingerEntry* entry, const char* text, uint32_t length);
void WriteHeldText();
// Task thread: the entry's output block, its position recorded for the
// entry in turn; a block that recycles removes the entry's previous one.
void BeginEntryOutput(FingerEntry* entry);
void EndEntryOutput(FingerEntry* entry);
// Pane thread: carries out what is queued now, unless a thread holds the
// pane (it comes when the holder lets go).
void ShowQueuedOutput();
// Pane thread: a deleted entry's block positions are no longer taken.
void ForgetQueuedEntry(const FingerEntry* entry);
// Refused with a box while a job's output block is open.
void ClearOutput();
void SaveOutput();
void CopyOutput();
