#include "status_bar.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>

#include "shell_handles.h"

char StatusTipCopy[STATUS_TIP_SIZE];
volatile LONG StatusDirty;

LRESULT SetStatusText(int part, const char* text)
{
    if (part == 0) {
        memset(StatusTipCopy, 0, sizeof StatusTipCopy);
        snprintf(StatusTipCopy, sizeof StatusTipCopy, "%s", text);
    }
    if (!ShellHandles.statusBar)
        return 0;
    return SendMessageA(ShellHandles.statusBar, SB_SETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void MarkStatusDirty()
{
    StatusDirty = 1;
}
