#include "entry_commands.h"

#include "../jobs/job_queue.h"
#include "entry_list_view.h"

// The queue's refusal (jobs being killed, or no memory) has been reported
// once; the remaining entries are not offered to it.
void FingerSelectedEntries(HWND owner)
{
    if (CountSelectedRows() == 0)
        return;
    RowCursor row;
    for (int i = FirstSelectedRow(&row); i >= 0; i = NextSelectedRow(&row)) {
        if (FingerEntryNow(reinterpret_cast<FingerEntry*>(row.lParam)) != 0)
            return;
    }
}
