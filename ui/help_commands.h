// The Help menu: the about box, the help document and the what's-new file.
#pragma once

#include <windows.h>

// The about box, modal on owner; it can open the web page and a new mail.
void ShowAboutBox(HWND owner);

// Open "help\Ombrelane.htm" and "whatsnew.txt" beside the program with the
// program associated with each; every failure is a box on the main window.
void OpenHelpDocument(HWND owner);
void OpenWhatsNew(HWND owner);
