// Start-up, the message loop and shutdown of the program.
#pragma once

#include <windows.h>

// The whole run: start-up, message loop, exit wait and shutdown. Returns the
// process exit code.
int RunProgram(HINSTANCE instance, const char* commandLine, int showCommand);
// Releases whatever exists, in order; safe after a failure at any point.
void Shutdown();
// Registers the wheel messages of the system and old wheel drivers.
void RegisterWheelMessages();
// Start-up steps: the main window's class, and the window with its children
// and menu (reported when they fail).
int RegisterMainWindowClass();
int CreateMainWindow();
