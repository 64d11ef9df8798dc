#include "shell/job_reports.h"

#include "entries/message_box.h"
#include "entries/settings.h"
#include "jobs/job_events.h"
#include "shell/status_bar.h"
#include "ui/entry_list_view.h"

namespace {

void OnJobStarted(FingerEntry*)
{
    MarkStatusDirty();
}

void OnStatusText(int part, const char* text)
{
    SetStatusText(part, text);
}

// The finger count column is the only one a job changes, so only a list
// sorted by it needs sorting again.
void OnRowChanged(FingerEntry* entry)
{
    Redraw_FingerEntry(entry);
    if (Settings.sortColumn == 2)
        RequestResort();
}

void OnShowBox(const char* text, const char* title)
{
    ShowMessageBox(text, title);
}

// The progress part belongs to the job that has just ended.
void OnJobEnded()
{
    SetStatusText(1, "");
}

}

void InstallJobEventHandlers()
{
    SetJobEventHandlers({OnJobStarted, OnStatusText, MarkStatusDirty, OnRowChanged, OnShowBox, OnJobEnded});
}
