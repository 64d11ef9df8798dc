#include "ui/entry_commands.h"

#include <cstdio>
#include <cstring>

#include "entries/message_box.h"
#include "entries/monitor_names.h"
#include "entries/settings.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"
#include "output/answer_buffers.h"
#include "output/change_notification.h"
#include "output/html_output.h"
#include "output/output_window.h"
#include "ui/entry_dialog.h"
#include "ui/entry_list_view.h"
#include "ui/group_dialog.h"

namespace {

FingerEntry* RowEntry(const RowCursor& row)
{
    return reinterpret_cast<FingerEntry*>(row.lParam);
}

// The fields the entry dialogs edit. The rest belongs to the task thread
// (counts, times, output positions, the notification) or to the list (links),
// and may have moved on while the dialog was open; so may the due time, which
// the timer keeps advancing, unless the dialog set it anew.
void CopyEditedFields(FingerEntry& entry, const FingerEntry& edited, const FingerEntry& before)
{
    memcpy(entry.description, edited.description, sizeof entry.description);
    memcpy(entry.address, edited.address, sizeof entry.address);
    memcpy(entry.monitorFile, edited.monitorFile, sizeof entry.monitorFile);
    entry.flags = (edited.flags & ~static_cast<uint32_t>(FE_NOTIFY_OPEN)) | (entry.flags & FE_NOTIFY_OPEN);
    entry.period = edited.period;
    entry.interval = edited.interval;
    if (edited.nextFinger != before.nextFinger)
        entry.nextFinger = edited.nextFinger;
    entry.colour = edited.colour;
    entry.points = edited.points;
    entry.font = edited.font;
    memcpy(entry.iconFile, edited.iconFile, sizeof entry.iconFile);
    entry.iconIndex = edited.iconIndex;
}

bool SameEditedFields(const FingerEntry& before, const FingerEntry& edited)
{
    FingerEntry merged = before;
    CopyEditedFields(merged, edited, before);
    return memcmp(&merged, &before, sizeof before) == 0;
}

// Refuses an empty selection with its message, then asks "...of \"name\" ?"
// for one row or "...of these N finger entries ?" for more; true on OK.
bool ConfirmForSelection(const char* title, const char* none, const char* one, const char* many)
{
    const int count = CountSelectedRows();
    if (count == 0) {
        ShowMessageBox(none, title);
        return false;
    }
    char question[DESCRIPTION_SIZE + 96];
    RowCursor row;
    if (count == 1 && FirstSelectedRow(&row) >= 0)
        snprintf(question, sizeof question, one, RowEntry(row)->description);
    else
        snprintf(question, sizeof question, many, count);
    return ShowMessageBox(question, title, MB_OKCANCEL) == IDOK;
}

}

FingerEntry* AddNewEntry(const FingerEntry& prototype)
{
    FingerEntry* entry = AllocateFingerEntry(prototype);
    if (entry && !(entry->flags & FE_TEMPORARY))
        InsertEntryRow(entry);
    return entry;
}

// Only the main thread queues jobs, so with none queued now none can name the
// entry, and the queue need not be searched.
int DiscardEntry(FingerEntry* entry)
{
    if (GetJobCount() != 0 && ReleaseEntryJobs(entry) != 0)
        return 1;
    CloseChangeNotification(entry);
    ForgetQueuedEntry(entry);
    char path[MAX_PATH];
    if (entry->monitorFile[0] != '\0' && IsPlainFileName(entry->monitorFile) &&
        MonitorFilePath(entry, path, sizeof path) == 0)
        DeleteFileA(path);
    FreeFingerEntry(entry);
    return 0;
}

// Rows are taken away before any record goes and made again once from the
// list: removing rows one by one renumbers every image each time, which makes
// a large delete quadratic.
int DeleteEntries(const std::vector<FingerEntry*>& entries, FingerEntry** refused)
{
    *refused = nullptr;
    if (entries.empty())
        return 0;
    SendMessageA(EntryListView, WM_SETREDRAW, FALSE, 0);
    ClearEntryListView();
    int deleted = 0;
    LockEntryList();
    for (FingerEntry* entry : entries) {
        if (DiscardEntry(entry) != 0) {
            *refused = entry;
            break;
        }
        ++deleted;
    }
    UnlockEntryList();
    FillEntryListView();
    return deleted;
}

std::vector<FingerEntry*> SelectedEntries()
{
    std::vector<FingerEntry*> entries;
    RowCursor row;
    for (int i = FirstSelectedRow(&row); i >= 0; i = NextSelectedRow(&row))
        entries.push_back(RowEntry(row));
    return entries;
}

void NewEntry(HWND owner)
{
    FingerEntry entry;
    SetEntryDefaults(entry);
    if (EditFingerEntry(entry, owner, "New Finger Entry") != 0)
        return;
    if (AddNewEntry(entry))
        RequestResort();
}

void EditEntryProperties(HWND owner)
{
    RowCursor row;
    if (FirstSelectedRow(&row) < 0) {
        ShowMessageBox("There's no item selected", "Properties");
        return;
    }
    FingerEntry* entry = RowEntry(row);
    const FingerEntry before = *entry;
    FingerEntry copy = before;
    char title[DESCRIPTION_SIZE + 32];
    snprintf(title, sizeof title, "Properties for \"%s\"", entry->description);
    if (EditFingerEntry(copy, owner, title) != 0 || SameEditedFields(before, copy))
        return;
    LockEntryList();
    CopyEditedFields(*entry, copy, before);
    UnlockEntryList();
    SetEntryRowIcon(entry, &row, false);
    RedrawRow(row.iItem);
    if (Settings.sortColumn < 2)
        RequestResort();
}

// The queue's refusal (jobs being killed, or no memory) has been reported
// once; the remaining entries are not offered to it.
void FingerSelectedEntries(HWND)
{
    for (FingerEntry* entry : SelectedEntries()) {
        if (FingerEntryNow(entry) != 0)
            return;
    }
}

void ClearFingerCount(HWND)
{
    if (!ConfirmForSelection("Clear Finger Count", "No Finger Entries Selected",
                             "Are you sure you want to clear the finger count of \"%s\" ?",
                             "Are you sure you want to clear the finger count of these %d finger entries ?"))
        return;
    const std::vector<FingerEntry*> entries = SelectedEntries();
    LockEntryList();
    for (FingerEntry* entry : entries)
        entry->fingerCount = 0;
    UnlockEntryList();
    RedrawAllRows();
}

void DeleteSelectedEntries(HWND)
{
    if (!ConfirmForSelection("Delete", "There are no items selected to delete!",
                             "Are you sure you want to delete \"%s\" ?",
                             "Are you sure you want to delete these %d finger entries ?"))
        return;
    FingerEntry* refused = nullptr;
    const int deleted = DeleteEntries(SelectedEntries(), &refused);
    if (refused) {
        char text[DESCRIPTION_SIZE + 64];
        snprintf(text, sizeof text, "Ombrelane cannot delete \"%s\" as it is\ncurrently being processed.",
                 refused->description);
        ShowMessageBox(text, "Delete Entry");
    }
    if (deleted > 0) {
        ArrangeEntryListView();
        ReportStatusDirty();
    }
}

void SetGroupsOfSelection(HWND owner)
{
    const int count = CountSelectedRows();
    RowCursor row;
    if (count == 0 || FirstSelectedRow(&row) < 0)
        return;
    AssignGroups(owner, RowEntry(row), count, false);
}

void ViewLastOutput(HWND)
{
    const std::vector<FingerEntry*> entries = SelectedEntries();
    if (entries.empty()) {
        ShowMessageBox("No entries are selected.", "View Last Output");
        return;
    }
    size_t failed = 0;
    for (const FingerEntry* entry : entries) {
        if (ViewEntryLastOutput(entry) == 1)
            ++failed;
    }
    if (failed == entries.size())
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
    JumpToEntryOutput(RowEntry(row));
}
