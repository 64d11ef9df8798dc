#include "entry_list_view.h"

#include <commctrl.h>

#include "../shell/shell_handles.h"

volatile LONG ResortRequested;

int Redraw_FingerEntry(FingerEntry* entry)
{
    HWND list = ShellHandles.entryListView;
    if (!list)
        return 0;
    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(entry);
    int row = static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    if (row < 0) {
        MessageBoxA(MessageOwner(), "Couldn't match *fe with list view iItems", "Redraw_FingerEntry",
                    MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    SendMessageA(list, LVM_REDRAWITEMS, row, row);
    return 0;
}

void RequestResort()
{
    ResortRequested = 1;
}
