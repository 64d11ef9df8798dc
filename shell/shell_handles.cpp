#include "shell_handles.h"

ShellHandleSet ShellHandles;
uint32_t StartupSwitches;

HWND MessageOwner()
{
    return ShellHandles.mainWindow ? ShellHandles.mainWindow : GetDesktopWindow();
}
