// Every message box of the program has one owner: the main window once it
// exists, or the dialog of it that is active; the desktop before the main
// window exists and after it is gone.
#pragma once

#include <windows.h>

// The shell names the main window when it is made and null when it is destroyed.
void SetMessageOwner(HWND window);
HWND MessageOwner();
// Shows a box owned as above and returns the button pressed.
int ShowMessageBox(const char* text, const char* title, UINT type = MB_OK | MB_ICONEXCLAMATION);
