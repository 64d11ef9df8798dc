#include "bench_entries_file.h"

#include "bench_clock.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "entries/settings.h"
#include "support/program_fixture.h"
#include "support/test_windows.h"
#include "ui/entries_file_commands.h"
#include "ui/entry_list_view.h"

void EntriesFileFigures(HWND window)
{
    const HWND previousList = EntryListView;
    if (!CreateEntryListView(window)) {
        printf("entries file figures skipped: the list view could not be made\n");
        return;
    }
    const std::string path = TempFolder() + "\\bench.oen";
    snprintf(Settings.entriesPath, sizeof Settings.entriesPath, "%s", path.c_str());
    AnswerBoxes("", IDYES);
    for (int count : {1000, 10000}) {
        FingerEntry prototype;
        SetEntryDefaults(prototype);
        for (int i = 0; i < count; ++i) {
            snprintf(prototype.description, sizeof prototype.description, "Entry %05d", i);
            snprintf(prototype.address, sizeof prototype.address, "user%d@host%d.example", i, i % 97);
            AllocateFingerEntry(prototype);
        }
        FillEntryListView();
        const struct {
            const char* name;
            void (*run)(HWND);
        } steps[] = {
            {"save", [](HWND owner) { SaveEntriesFile(owner, false); }},
            {"merge (every entry replaced)", [](HWND owner) { LoadEntriesFile(owner, true); }},
            {"load (every entry replaced)", [](HWND owner) { LoadEntriesFile(owner, false); }},
        };
        for (const auto& step : steps) {
            const double start = Seconds();
            step.run(window);
            printf("entries file, %s of %d entries: %.0f ms\n", step.name, count, (Seconds() - start) * 1000.0);
        }
        ClearEntryListView();
        FreeAllEntries();
    }
    StopAnsweringBoxes();
    DestroyWindow(EntryListView);
    EntryListView = previousList;
    DeleteFileA(path.c_str());
}
