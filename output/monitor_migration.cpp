#include "output/monitor_migration.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "entries/finger_entry.h"
#include "entries/message_box.h"
#include "entries/monitor_names.h"
#include "output/answer_buffers.h"

namespace {

// The monitor names in use, compared without regard to case, each with the
// number of entries that use it: one look-up tells whether another entry
// has a name, however many entries there are.
using MonitorNameCounts = std::unordered_map<std::string, int>;

std::string FoldedMonitorName(const char* name)
{
    return FoldedName(std::string(name, strnlen(name, MONITOR_NAME_SIZE)));
}

void CountMonitorName(MonitorNameCounts& names, const FingerEntry* entry)
{
    ++names[FoldedMonitorName(entry->monitorFile)];
}

void ForgetMonitorName(MonitorNameCounts& names, const FingerEntry* entry)
{
    const auto found = names.find(FoldedMonitorName(entry->monitorFile));
    if (found != names.end() && --found->second == 0)
        names.erase(found);
}

}

int MigrateMonitorFiles()
{
    int converted = 0;
    LockEntryList();
    MonitorNameCounts names;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        CountMonitorName(names, entry);
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (entry->flags & FE_TEMPORARY)
            continue;
        if (!IsPlainFileName(entry->monitorFile)) {
            char text[DESCRIPTION_SIZE + 64];
            snprintf(text, sizeof text, "Rebuilding monitor filename for the entry:\n%s", entry->description);
            ShowMessageBox(text, "Missing Monitor Filename");
            ForgetMonitorName(names, entry);
            entry->monitorFile[0] = '\0';
            AssignMonitorFileName(*entry);
            CountMonitorName(names, entry);
        }
        const char* dot = strrchr(entry->monitorFile, '.');
        if (!dot || lstrcmpiA(dot, ".txt") != 0)
            continue;
        char oldPath[PATH_SIZE];
        char newPath[PATH_SIZE];
        if (MonitorFilePath(entry, oldPath, sizeof oldPath) != 0)
            continue;
        char renamed[MONITOR_NAME_SIZE];
        snprintf(renamed, sizeof renamed, "%.*s.htm", static_cast<int>(dot - entry->monitorFile), entry->monitorFile);
        // Two entries must never share a file: a name another entry already
        // has makes this one take a fresh name instead.
        ForgetMonitorName(names, entry);
        if (names.count(FoldedMonitorName(renamed)) != 0) {
            entry->monitorFile[0] = '\0';
            AssignMonitorFileName(*entry);
        } else {
            snprintf(entry->monitorFile, sizeof entry->monitorFile, "%s", renamed);
        }
        CountMonitorName(names, entry);
        if (MonitorFilePath(entry, newPath, sizeof newPath) == 0)
            MoveFileExA(oldPath, newPath, MOVEFILE_REPLACE_EXISTING);
        ++converted;
    }
    UnlockEntryList();
    if (converted != 0) {
        char title[64];
        snprintf(title, sizeof title, "Renamed %d Finger Entry Monitor Files", converted);
        ShowMessageBox("Ombrelane has detected that you are using finger entries\nfrom version 1.1a or earlier. They "
                       "have been renamed to work\nwith this version.",
                       title, MB_OK | MB_ICONINFORMATION);
    }
    return 0;
}
