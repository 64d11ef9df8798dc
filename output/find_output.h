// Searching the output pane for a text, and repeating the search further on.
#pragma once

#include <windows.h>

// Asks for the text and the options (Match Case, Whole Word); an OK searches
// from the top of the pane.
void FindInOutput(HWND owner);
// Finds the next match, starting one character after the start of the last
// one, so overlapping matches are found too; the search never wraps. Opens
// the dialog while no search has been set.
void FindAgain(HWND owner);
// Forgets the search text and that a search was set; the options stay. The
// pane calls it when it is created, with the main window.
void ResetFindState();
