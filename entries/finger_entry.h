// The finger entry record and the program's single list of entries.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

enum : uint32_t {
    FE_FINGER_AT_START = 0x00000001,
    FE_AUTO_FINGER     = 0x00000002,
    FE_NOTIFY_CHANGES  = 0x00000008,
    FE_LOG_OUTPUT      = 0x00000010,
    FE_ADD_TIME        = 0x00000080,
    FE_RECYCLE_OUTPUT  = 0x00000100,
    FE_TEMPORARY       = 0x00000200,
    FE_LONG_OUTPUT     = 0x00000400,
    FE_HTML_ALWAYS     = 0x00000800,
    FE_HTML_NEVER      = 0x00001000,
    FE_GROUP_3         = 0x00800000,
    FE_GROUP_2         = 0x01000000,
    FE_GROUP_1         = 0x02000000,
    FE_GROUP_STATUS    = 0x04000000,
    FE_GROUP_MAIL      = 0x08000000,
    FE_NOTIFY_OPEN     = 0x10000000,
    FE_ALL_GROUPS      = 0x0F800000,
};

// Group index 0..4: Mail, Status, #1, #2, #3.
constexpr int GROUP_COUNT = 5;
constexpr uint32_t GroupMask(int group) { return 0x08000000u >> group; }

enum PeriodUnit : uint32_t { PERIOD_MINUTES = 0, PERIOD_HOURS = 1, PERIOD_DAYS = 2, PERIOD_WEEKS = 3 };

constexpr int DESCRIPTION_SIZE = 128;
constexpr int ADDRESS_SIZE = 128;
constexpr int MONITOR_NAME_SIZE = 16;
constexpr int PATH_SIZE = 260;

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
extern HANDLE EntryListMutex;
extern LOGFONTA DefaultEntryFont;

// Minutes in one unit of a PeriodUnit; 0 for a value outside the table.
uint32_t PeriodMinutes(uint32_t period);
// The entry's automatic interval in minutes.
uint32_t EntryIntervalMinutes(const FingerEntry& entry);

void FetchDefaultEntryFont();
void SetEntryDefaults(FingerEntry& entry);
FingerEntry* AllocateFingerEntry(const FingerEntry& prototype);
void AssignMonitorFileName(FingerEntry& entry);
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
constexpr int ENTRY_RECORD_SIZE = 656;
void EntryToRecordImage(const FingerEntry& entry, unsigned char image[ENTRY_RECORD_SIZE]);
// Reads every field of an image into the record; text fields are always
// terminated inside their width. Links are set to null.
void EntryFromRecordImage(const unsigned char image[ENTRY_RECORD_SIZE], FingerEntry& entry);
