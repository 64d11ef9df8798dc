#include "entries/settings.h"

#include <cstdio>
#include <cstring>

ProgramSettings Settings;

void SetDefaultSettings()
{
    ZeroMemory(&Settings, sizeof Settings);
    Settings.options = OPT_REMEMBER_POSITION | OPT_NETWORK;
    Settings.maxAllocSize = DEFAULT_ALLOC_SIZE;
    Settings.maxAllocSizeSaved = DEFAULT_ALLOC_SIZE;
    Settings.toolbarCount = -1;
    Settings.DisplaySplit = DEFAULT_DISPLAY_SPLIT;
    static const char* const groupNames[GROUP_COUNT] = {
        "Finger Mail", "Finger Status", "Finger Group #1", "Finger Group #2", "Finger Group #3"};
    for (int g = 0; g < GROUP_COUNT; ++g)
        snprintf(Settings.groupNames[g], GROUP_NAME_SIZE, "%s", groupNames[g]);
    Settings.sortColumn = 0;
    Settings.listStyle = 1;
    static const int32_t widths[LIST_COLUMNS] = {196, 176, 36, 120, 64};
    memcpy(Settings.columnWidths, widths, sizeof widths);
    Settings.networkTimeout = DEFAULT_NETWORK_TIMEOUT;
    Settings.fetchLimit = DEFAULT_FETCH_LIMIT;
    Settings.followReferrals = true;
}
