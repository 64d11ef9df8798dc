#include "ui/entry_commands.h"

#include "entries/message_box.h"
#include "jobs/job_queue.h"
#include "output/html_output.h"
#include "output/output_window.h"
#include "ui/entry_list_view.h"

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

void ViewLastOutput(HWND)
{
    if (CountSelectedRows() == 0) {
        ShowMessageBox("No entries are selected.", "View Last Output");
        return;
    }
    int shown = 0;
    int failed = 0;
    RowCursor row;
    for (int i = FirstSelectedRow(&row); i >= 0; i = NextSelectedRow(&row)) {
        ++shown;
        if (ViewEntryLastOutput(reinterpret_cast<const FingerEntry*>(row.lParam)) == 1)
            ++failed;
    }
    if (shown > 0 && failed == shown)
        ShowMessageBox("Couldn't view last output for the selected entries", "View Last Output",
                       MB_OK | MB_ICONINFORMATION);
}

void JumpToLastOutput()
{
    RowCursor row;
    if (FirstSelectedRow(&row) < 0) {
        ShowMessageBox("No entries are selected.", "Jump To Last Output");
        return;
    }
    JumpToEntryOutput(reinterpret_cast<const FingerEntry*>(row.lParam));
}
