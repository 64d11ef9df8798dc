#include "shell/shell_handles.h"

ShellHandleSet ShellHandles;
uint32_t StartupSwitches;
