// The main window: its children, layout, messages and command table.
#pragma once

#include <windows.h>

constexpr char MAIN_WINDOW_CLASS[] = "Ombrelane";

// Heights of the children the layout works with.
extern int StatusBarHeight;
// Registered message numbers: "TaskbarCreated" and the old wheel drivers' message.
extern UINT TaskbarCreatedMessage;
extern UINT WheelMessage;
// Lines one wheel notch scrolls the output pane; 0 when no wheel message exists.
extern int WheelScrollLines;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND CreateMainStatusBar(HWND mainWindow);
void LayoutMainWindow(HWND mainWindow);

struct MainLayout {
    int listTop, listHeight;
    int outputTop, outputHeight;
    int statusTop;
};
// The children's positions for a client area of the given top and bottom.
MainLayout ComputeMainLayout(int top, int bottom, int toolbarHeight, int statusBarHeight, int displaySplit);

// Runs one command of the table; false when the id has no row.
bool RunCommand(HWND mainWindow, int id);
