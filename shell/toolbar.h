// The main window's toolbar: its button table, layouts and customising.
#pragma once

#include <windows.h>
#include <commctrl.h>

constexpr int TOOLBAR_TABLE_SIZE = 27;
constexpr int DEFAULT_TOOLBAR_SIZE = 26;

// First index of each image strip in the toolbar's image list. The strips are
// added in this order into an empty toolbar: the standard small colour images
// (15), the view small colour images (12), then the program's own 16 images.
constexpr int STANDARD_STRIP_BASE = 0;
constexpr int VIEW_STRIP_BASE = 15;
constexpr int OWN_STRIP_BASE = 27;
constexpr int OWN_STRIP_IMAGES = 16;

// One button the toolbar can show. image is the index in the toolbar's image
// list (strip base included); text is the tooltip and customise-dialog text,
// read when asked for, so the group buttons follow their live names.
struct ToolbarButtonEntry {
    int image;
    int commandId;
    BYTE style;
    const char* text;
};

extern const ToolbarButtonEntry ToolbarButtonTable[TOOLBAR_TABLE_SIZE];
// Table indices of the built-in layout.
extern const int DefaultToolbarLayout[DEFAULT_TOOLBAR_SIZE];
// Height the main window's layout gives the toolbar.
extern int ToolbarHeight;

// The version of a common-controls library as major x 65536 + minor, or 0.
DWORD ComCtlVersion(const char* libraryName);
// The toolbar's window style for a common-controls library of that version:
// flat buttons from version 4.70 on.
DWORD MainToolbarStyle(DWORD comctlVersion);
// Creates and fills the toolbar, records it in ShellHandles.toolbar and sets
// ToolbarHeight; null on failure.
HWND CreateMainToolbar(HWND mainWindow);
// Rebuilds the buttons from the saved layout (the default one when nothing is
// saved or the saved list holds an unknown id).
void LoadToolbarButtons(HWND toolbar);
// Replaces every button with the default layout.
void ResetToolbarButtons(HWND toolbar);
// Stores the buttons of ShellHandles.toolbar in the settings (at most
// TOOLBAR_MAX); leaves them alone when there is no toolbar.
void SaveToolbarButtons();
// Opens the toolbar's own customise dialog and returns when it is closed.
void CustomizeToolbar();
// Answers TBN_GETBUTTONINFOA: fills the button and its text for the table
// entry iItem; FALSE past the table's end.
BOOL GetToolbarButtonInfo(NMTOOLBARA* info);
// Answers TTN_NEEDTEXTA: the text of the button with that command id, or
// "Unknown button id"; size is the buffer's size in bytes.
void GetToolbarTooltip(char* text, int size, UINT_PTR commandId);
// The main window's handling of the toolbar's and its tooltips' notifications:
// every customising change is allowed, Reset restores the default layout.
// False when the notification is not one of them.
bool OnToolbarNotify(NMHDR* header, LRESULT* result);
