// The program options dialog, its advanced options dialog, and the shortcut
// in the user's Startup folder that starts the program with Windows.
#pragma once

#include <windows.h>

// Runs the options dialog, owned by mainWindow, and gives the keyboard focus
// back afterwards. Returns 0 after OK, -1 after Cancel or the close box, and
// 1 at once while the dialog is already open (the tray menu stays usable
// while it is up). splitChanged is true when OK moved the split between entry
// list and output pane: the caller then lays the main window out again, which
// this layer cannot do itself.
int OptionsDialog(HWND mainWindow, bool& splitChanged);

// Runs the advanced options dialog, owned by optionsDialog. Returns 0 after
// OK, -1 after Cancel or the close box, and 1 at once while it is already open.
int AdvancedOptionsDialog(HWND optionsDialog);

// Stores the options dialog's controls in Settings and creates or deletes the
// Startup shortcut. Returns whether the split between list and pane moved.
bool ApplyOptions(HWND optionsDialog);

// Stores the advanced dialog's controls in Settings, step by step; a step
// that refuses its field shows why and stops, and the earlier steps' changes
// stay. Returns 1 when the dialog may close, 0 when it must stay open.
int ApplyAdvancedOptions(HWND advancedDialog);

// The Startup folder's "Ombrelane.lnk" to this program, shown minimised when
// the program starts minimised. With no Startup folder known there is no
// shortcut to make or remove. Failures are not reported.
void CreateStartupShortcut();
void DeleteStartupShortcut();

// Saves a shell link to executable at linkPath. Returns the COM result of the
// last step taken.
HRESULT CreateShellLink(const char* executable, const char* linkPath, const char* description);

// The open-file dialogs of the two Browse buttons. The log file chosen goes
// straight into Settings, so a later Cancel keeps it; the browser chosen goes
// into the advanced dialog's edit only. 0 after OK, 1 after cancel.
int BrowseLogFile(HWND optionsDialog);
int BrowseBrowserProgram(HWND advancedDialog);
