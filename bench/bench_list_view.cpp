#include "bench_list_view.h"

#include "bench_clock.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "entries/settings.h"
#include "ui/entry_commands.h"
#include "ui/entry_list_view.h"

namespace {

constexpr int ROW_COUNT = 10000;

// Entries whose columns are all in a scrambled order, so every sort has work to do.
std::vector<FingerEntry*> MakeEntries(int count)
{
    FingerEntry prototype;
    SetEntryDefaults(prototype);
    std::vector<FingerEntry*> entries;
    uint32_t seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t key = seed >> 8;
        snprintf(prototype.description, sizeof prototype.description, "Entry %08u", key);
        snprintf(prototype.address, sizeof prototype.address, "user%u@host%u.example", key % 9973, key % 101);
        prototype.fingerCount = key % 1000;
        prototype.lastFingered = key % 2 ? static_cast<int32_t>(1600000000 + key % 100000000) : 0;
        prototype.flags = (key << 23) & FE_ALL_GROUPS;
        if (FingerEntry* entry = AllocateFingerEntry(prototype))
            entries.push_back(entry);
    }
    return entries;
}

}

void ListViewFigures(HWND window)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    const HWND previousList = EntryListView;
    const int32_t previousColumn = Settings.sortColumn;
    const uint32_t previousOptions = Settings.options;
    HWND list = CreateEntryListView(window);
    if (!list) {
        printf("list view figures skipped: the list view could not be made\n");
        return;
    }

    // A tenth of the rows first: the fill should grow no faster than the sort.
    std::vector<FingerEntry*> entries = MakeEntries(ROW_COUNT / 10);
    double start = Seconds();
    FillEntryListView();
    printf("filling the entry list with %d rows: %.0f ms\n", static_cast<int>(entries.size()),
           (Seconds() - start) * 1000.0);
    for (FingerEntry* entry : entries)
        FreeFingerEntry(entry);

    entries = MakeEntries(ROW_COUNT);
    start = Seconds();
    FillEntryListView();
    const double fill = Seconds() - start;
    const int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    printf("filling the entry list with %d rows: %.0f ms\n", rows, fill * 1000.0);

    static const char* const columnNames[LIST_COLUMNS] = {"Description", "Address", "#", "Last Fingered", "Groups"};
    for (int column = 0; column < LIST_COLUMNS; ++column) {
        Settings.sortColumn = column;
        start = Seconds();
        SortEntryListView();
        printf("sorting %d rows by column %d (%s): %.1f ms\n", rows, column, columnNames[column],
               (Seconds() - start) * 1000.0);
    }

    // Rows added one at a time, as merged entries are; the caller holds the
    // control's repaint meanwhile, as a fill does.
    DestroyWindow(list);
    list = CreateEntryListView(window);
    if (list) {
        start = Seconds();
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        for (FingerEntry* entry : entries)
            InsertEntryRow(entry);
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        printf("adding %d rows one at a time, repaint held: %.0f ms\n", static_cast<int>(entries.size()),
               (Seconds() - start) * 1000.0);
        FingerEntry* middle = entries[entries.size() / 2];
        entries.erase(entries.begin() + static_cast<ptrdiff_t>(entries.size() / 2));
        FingerEntry* refused = nullptr;
        start = Seconds();
        DeleteEntries({middle}, &refused);
        printf("deleting the middle entry of %d: %.1f ms\n", rows, (Seconds() - start) * 1000.0);
        start = Seconds();
        ClearEntryListView();
        printf("emptying the list of %d rows: %.1f ms\n", rows - 1, (Seconds() - start) * 1000.0);
        DestroyWindow(list);
    }

    EntryListView = previousList;
    for (FingerEntry* entry : entries)
        FreeFingerEntry(entry);
    Settings.sortColumn = previousColumn;
    Settings.options = previousOptions;
}
