// Figures of the entry list view: filling and sorting a large list.
#pragma once

#include <windows.h>

// Makes a list view on the window, fills it with 10 000 entries and prints
// the time of the fill and of a sort by each column; removes it all again.
void ListViewFigures(HWND window);
