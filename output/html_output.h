// HTML answers, the browser, and showing stored answers and documents again.
#pragma once

#include <windows.h>
#include "entries/finger_entry.h"

// Whether the answer (NUL-terminated) is to be opened in the browser instead
// of being shown: the entry's HTML choice, else (with automatic detection on)
// an "<html>" or "<HTML>" tag followed by a closing one. An entry without a
// monitor file (a quick finger) has no page to open, so its answer is text.
bool IsHtmlOutput(const FingerEntry* entry, const char* answer);

// Opens the entry's monitor file in the user's browser or in the program
// associated with it. Returns 0 when the browser was started, 1 otherwise
// (a failure has been reported). Safe on the task thread.
int ViewHtmlOutput(const FingerEntry* entry);

// The program associated with file (result: PATH_SIZE bytes). Returns 0 when
// found, 1 after reporting that none was found.
int FindAssociatedProgram(const char* file, const char* directory, char* result);

// Starts program with the document as its one argument, quoted whole: the
// program folder may hold blanks. Returns ShellExecuteA's result, above 32
// when the program was started. Safe on the task thread.
INT_PTR OpenWithProgram(HWND owner, const char* program, const char* document);

// Appends a file to the output pane: with an entry as plain text in its
// format (or in the browser when it is HTML for that entry), without one as
// rich text. Returns 0 when shown, 1 when the file could not be read.
int ShowFileInOutput(const FingerEntry* entry, const char* path);

// Shows the entry's stored answer again; result as ShowFileInOutput.
int ViewEntryLastOutput(const FingerEntry* entry);

// First start: the welcome document (a rich-text file looked up in the
// current directory); a missing file shows nothing. Result as ShowFileInOutput.
int ShowWelcomeDocument(const char* name);
