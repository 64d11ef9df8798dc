// The finger entry record and the program's single list of entries.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

#include "entries/entry_fields.h"
#include "entries/waits.h"

struct FingerEntry {
    char description[DESCRIPTION_SIZE];
    char address[ADDRESS_SIZE];
    char monitorFile[MONITOR_NAME_SIZE];
    uint32_t flags;
    uint32_t period;
    uint32_t interval;
    uint32_t fingerCount;
    int32_t lastFingered;
    uint32_t reserved1;
    int32_t nextFinger;
    uint32_t reserved2;
    COLORREF colour;
    uint32_t points;
    LOGFONTA font;
    HWND notifyWindow;
    uint32_t changed;
    int32_t outputStart;
    int32_t outputEnd;
    char iconFile[PATH_SIZE];
    uint32_t iconIndex;
    FingerEntry* prev;
    FingerEntry* next;
};

static_assert(sizeof(void*) != 4 || sizeof(FingerEntry) == 660, "entry record layout");

struct FingerEntryList {
    FingerEntry* head;
    FingerEntry* tail;
    uint32_t count;
};

extern FingerEntryList EntryList;
extern ProgramLock EntryListMutex;
extern LOGFONTA DefaultEntryFont;

// Minutes in one unit of a PeriodUnit; 0 for a value outside the table.
uint32_t PeriodMinutes(uint32_t period);
// The entry's automatic interval in minutes.
uint32_t EntryIntervalMinutes(const FingerEntry& entry);

void FetchDefaultEntryFont();
void SetEntryDefaults(FingerEntry& entry);
FingerEntry* AllocateFingerEntry(const FingerEntry& prototype);
void AssignMonitorFileName(FingerEntry& entry);
// Names the records in order as AssignMonitorFileName would if each were
// listed before the next is named.
void AssignMonitorFileNames(FingerEntry* records, size_t count);
void FreeFingerEntry(FingerEntry* entry);
void LockEntryList();
void UnlockEntryList();

// The one form in which names that ignore letter case are compared: profile
// key names and monitor file names.
std::string FoldedName(const std::string& name);

// The name by which an entry is shown in messages: the address of a temporary
// entry, otherwise its description.
const char* EntryTitle(const FingerEntry& entry);

// The 656-byte image of a record as saved entries files store it.
void EntryToRecordImage(const FingerEntry& entry, unsigned char image[ENTRY_RECORD_SIZE]);
// Reads every field of an image into the record; text fields are always
// terminated inside their width. Links are set to null.
void EntryFromRecordImage(const unsigned char image[ENTRY_RECORD_SIZE], FingerEntry& entry);
