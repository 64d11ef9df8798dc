#include "ui/entries_file_commands.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "entries/entries_file.h"
#include "entries/file_handle.h"
#include "entries/message_box.h"
#include "entries/settings.h"
#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "ui/entry_commands.h"
#include "ui/entry_list_view.h"

namespace {

// No job may be queued while the entries are being replaced; the mark goes
// with the operation, whichever way it ends.
struct LoadingMark {
    LoadingMark() { SetJobState(0xFFFFFFFFu, JS_LOADING); }
    ~LoadingMark() { SetJobState(~static_cast<uint32_t>(JS_LOADING), 0); }
    LoadingMark(const LoadingMark&) = delete;
    LoadingMark& operator=(const LoadingMark&) = delete;
};

// The Open or Save dialog; false when the user cancelled. The name chosen is
// kept in the settings and offered next time.
bool ChooseEntriesFile(HWND owner, const char* title, bool save)
{
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = "Ombrelane Entries (*.oen)\0*.oen\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = Settings.entriesPath;
    dialog.nMaxFile = sizeof Settings.entriesPath;
    dialog.lpstrDefExt = "oen";
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN | OFN_OVERWRITEPROMPT;
    return save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
}

// The message for a file that cannot be loaded; false after showing it.
bool AcceptFile(EntriesFileCheck check, const char* title)
{
    switch (check) {
    case EntriesFileCheck::Good:
        return true;
    case EntriesFileCheck::NotOurs:
    case EntriesFileCheck::Damaged:
        ShowMessageBox("The file is not a valid Ombrelane file.", title);
        return false;
    case EntriesFileCheck::OtherVersion:
        ShowMessageBox("The Finger Entries in this file appear to be saved with a different\nversion of Ombrelane "
                       "(different structure sizes)",
                       title);
        return false;
    case EntriesFileCheck::Incomplete:
        ShowMessageBox("The file appears to be incomplete.", "Open Error");
        return false;
    }
    return false;
}

// Reads the whole file once its header has promised a size that it holds;
// empty after telling the user why not.
std::vector<unsigned char> ReadEntriesFile(const char* title, uint32_t* count)
{
    FileHandle file(CreateFileA(Settings.entriesPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (file.handle == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.handle, &size)) {
        ShowMessageBox("Couldn't open the finger entry file", title);
        return {};
    }
    unsigned char header[ENTRIES_HEADER_SIZE];
    DWORD got = 0;
    if (!ReadFile(file.handle, header, sizeof header, &got, nullptr))
        got = 0;
    if (!AcceptFile(CheckEntriesHeader(header, got, static_cast<uint64_t>(size.QuadPart), count), title))
        return {};
    std::vector<unsigned char> image;
    try {
        image.resize(ENTRIES_HEADER_SIZE + static_cast<size_t>(*count) * ENTRY_RECORD_SIZE);
    } catch (const std::bad_alloc&) {
        ShowMessageBox("There is no more room to add the finger entries from the file.", title);
        return {};
    }
    memcpy(image.data(), header, sizeof header);
    size_t total = sizeof header;
    while (total < image.size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(image.size() - total, 1u << 20));
        if (!ReadFile(file.handle, image.data() + total, want, &got, nullptr) || got == 0)
            break;
        total += got;
    }
    if (!AcceptFile(total < image.size() ? EntriesFileCheck::Incomplete : CheckEntriesFile(image.data(), total, count),
                    title))
        return {};
    return image;
}

// A record as a new entry: the lasting fields of the file, the run-time ones
// cleared, no monitor file yet.
FingerEntry LoadedEntry(const unsigned char* record)
{
    FingerEntry entry;
    EntryFromRecordImage(record, entry);
    entry.flags = LoadedEntryFlags(entry.flags);
    entry.monitorFile[0] = '\0';
    entry.lastFingered = 0;
    entry.reserved1 = 0;
    entry.reserved2 = 0;
    entry.nextFinger = 0;
    entry.notifyWindow = nullptr;
    entry.changed = 0;
    entry.outputStart = 0;
    entry.outputEnd = 0;
    return entry;
}

// The file's records that stay: a record gives way to a later one of the same
// description, whatever the letter case.
std::vector<FingerEntry> LastOfEachDescription(const std::vector<unsigned char>& image, uint32_t count,
                                               std::unordered_set<std::string>& descriptions)
{
    std::unordered_map<std::string, uint32_t> last;
    std::vector<std::string> folded(count);
    for (uint32_t i = 0; i < count; ++i) {
        const auto* record = reinterpret_cast<const char*>(&image[ENTRIES_HEADER_SIZE + size_t(i) * ENTRY_RECORD_SIZE]);
        folded[i] = FoldedName(record);
        last[folded[i]] = i;
    }
    std::vector<FingerEntry> kept;
    for (uint32_t i = 0; i < count; ++i) {
        if (last[folded[i]] == i)
            kept.push_back(LoadedEntry(&image[ENTRIES_HEADER_SIZE + size_t(i) * ENTRY_RECORD_SIZE]));
        descriptions.insert(folded[i]);
    }
    return kept;
}

// The listed entries the file replaces: all of them for a load, those of a
// description the file brings for a merge.
std::vector<FingerEntry*> ReplacedEntries(bool merge, const std::unordered_set<std::string>& descriptions)
{
    std::vector<FingerEntry*> replaced;
    LockEntryList();
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (!(entry->flags & FE_TEMPORARY) && (!merge || descriptions.count(FoldedName(entry->description))))
            replaced.push_back(entry);
    }
    UnlockEntryList();
    return replaced;
}

// Discards the replaced entries; false when the user chose to stop after one
// could not go.
bool DiscardReplaced(const std::vector<FingerEntry*>& replaced)
{
    for (FingerEntry* entry : replaced) {
        if (DiscardEntry(entry) == 0)
            continue;
        return ShowMessageBox("Ombrelane couldn't delete all of the finger entries.\n\nWould you like to continue "
                              "merging the entries?\n",
                              "Error Deleting All Finger Entries", MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
    }
    return true;
}

// Appends the new entries, which get their rows when the list is made again;
// returns how many were added.
uint32_t AddLoadedEntries(std::vector<FingerEntry>& loaded, const char* title)
{
    uint32_t added = 0;
    AssignMonitorFileNames(loaded.data(), loaded.size());
    for (FingerEntry& prototype : loaded) {
        FingerEntry* entry = AllocateFingerEntry(prototype);
        if (!entry) {
            ShowMessageBox("There is no more room to add the finger entries from the file.\nOmbrelane will ignore "
                           "the remaining entries.",
                           title);
            break;
        }
        ScheduleNextFinger(entry);
        ++added;
    }
    return added;
}

uint32_t ListedEntryCount()
{
    uint32_t count = 0;
    LockEntryList();
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (!(entry->flags & FE_TEMPORARY))
            ++count;
    }
    UnlockEntryList();
    return count;
}

// The records of the entries to save, header first. Quick fingers in progress
// are not entries of the user's and are left out.
std::vector<unsigned char> SavedImage(bool selectedOnly)
{
    std::vector<FingerEntry*> entries;
    if (selectedOnly) {
        entries = SelectedEntries();
    } else {
        LockEntryList();
        for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
            if (!(entry->flags & FE_TEMPORARY))
                entries.push_back(entry);
        }
        UnlockEntryList();
    }
    std::vector<unsigned char> image(ENTRIES_HEADER_SIZE + entries.size() * ENTRY_RECORD_SIZE);
    MakeEntriesHeader(image.data(), static_cast<uint32_t>(entries.size()));
    unsigned char* record = image.data() + ENTRIES_HEADER_SIZE;
    LockEntryList();
    for (const FingerEntry* entry : entries) {
        EntryToRecordImage(*entry, record);
        record += ENTRY_RECORD_SIZE;
    }
    UnlockEntryList();
    return image;
}

// Writes the file beside its final name and puts it in place only once it is
// whole, so a failed save never spoils the file it was meant to replace.
void WriteEntriesFile(const std::vector<unsigned char>& image, const char* title)
{
    const std::string part = std::string(Settings.entriesPath) + ".part";
    {
        FileHandle file(CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (file.handle == INVALID_HANDLE_VALUE) {
            ShowMessageBox("Couldn't create the finger entry file", title);
            return;
        }
        const struct {
            size_t from, to;
            const char* failure;
        } pieces[] = {
            {0, ENTRIES_MAGIC_SIZE, "Couldn't save the finger entry file header"},
            {ENTRIES_MAGIC_SIZE, 21, "Couldn't save the finger entry file structure length"},
            {21, ENTRIES_HEADER_SIZE, "Couldn't save the finger entry file structure count"},
            {ENTRIES_HEADER_SIZE, image.size(), "Couldn't save the finger entry"},
        };
        for (const auto& piece : pieces) {
            if (piece.to > piece.from &&
                WriteWholeBytes(file.handle, reinterpret_cast<const char*>(image.data() + piece.from),
                                static_cast<uint32_t>(piece.to - piece.from)) != 0) {
                ShowMessageBox(piece.failure, title);
                CloseHandle(file.handle);
                file.handle = INVALID_HANDLE_VALUE;
                DeleteFileA(part.c_str());
                return;
            }
        }
    }
    if (!MoveFileExA(part.c_str(), Settings.entriesPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(part.c_str());
        ShowMessageBox("Couldn't create the finger entry file", title);
    }
}

}

void LoadEntriesFile(HWND owner, bool merge)
{
    const char* title = merge ? "Merge Finger Entries" : "Load Finger Entries";
    LoadingMark loading;
    if (GetJobCount() != 0) {
        ShowMessageBox("You cannot merge or load finger entries while there are\njobs waiting to be processed.\n\nYou "
                       "can either wait until all jobs have been processed, or use\nthe Tools->Kill Jobs function.",
                       title);
        return;
    }
    if (!merge && EntryList.count != 0 &&
        ShowMessageBox("You are about to load some finger entries which will\ndelete all of your existing ones. You "
                       "can mix your\nexisting ones with the ones you're about to load, by \nusing the Merge Entries "
                       "function instead.\n\nDo you want to continue (and delete your existing entries)?",
                       title, MB_YESNO | MB_ICONSTOP) != IDYES)
        return;
    if (!ChooseEntriesFile(owner, title, false))
        return;
    uint32_t count = 0;
    const std::vector<unsigned char> image = ReadEntriesFile(title, &count);
    if (image.empty())
        return;
    std::unordered_set<std::string> descriptions;
    std::vector<FingerEntry> loaded = LastOfEachDescription(image, count, descriptions);
    const std::vector<FingerEntry*> replaced = ReplacedEntries(merge, descriptions);
    SendMessageA(EntryListView, WM_SETREDRAW, FALSE, 0);
    ClearEntryListView();
    // One hold of the list for the whole exchange, rather than one for every entry that goes or comes.
    LockEntryList();
    const bool goOn = DiscardReplaced(replaced);
    // Every record counts, also one that a later record of its description
    // replaced, unless memory ran out before the last.
    if (goOn) {
        const uint32_t added = AddLoadedEntries(loaded, title);
        if (added < loaded.size())
            count = added;
    }
    UnlockEntryList();
    FillEntryListView();
    ArrangeEntryListView();
    if (!goOn)
        return;
    char summary[64];
    snprintf(summary, sizeof summary, "%u %s been %s.", count, count == 1 ? "entry has" : "entries have",
             merge ? "merged" : "loaded");
    ShowMessageBox(summary, title, MB_OK | MB_ICONINFORMATION);
}

void SaveEntriesFile(HWND owner, bool selectedOnly)
{
    const char* title = selectedOnly ? "Save Selected Entries" : "Save All Entries";
    if ((selectedOnly ? static_cast<uint32_t>(CountSelectedRows()) : ListedEntryCount()) == 0) {
        ShowMessageBox("There are no entries to save!", title);
        return;
    }
    if (ChooseEntriesFile(owner, title, true))
        WriteEntriesFile(SavedImage(selectedOnly), title);
}
