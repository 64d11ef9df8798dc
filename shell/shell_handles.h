// Handles the main thread owns for the whole run.
#pragma once

#include <windows.h>
#include <cstdint>

struct ShellHandleSet {
    HINSTANCE instance;
    HWND mainWindow;
    HMENU mainMenu;
    HACCEL accelerators;
    HMODULE richEditLibrary;
    HICON mainIcon;
    HICON trayIcons[3];
    HMENU entryContextMenu;
    HMENU trayMenu;
    HMENU outputMenu;
    HWND statusBar;
    HWND toolbar;
};

extern ShellHandleSet ShellHandles;
extern uint32_t StartupSwitches;
