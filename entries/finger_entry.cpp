#include "entries/finger_entry.h"

#include <cstring>
#include <vector>

#include "entries/message_box.h"
#include "entries/monitor_names.h"
#include "entries/waits.h"

FingerEntryList EntryList;
ProgramLock EntryListMutex;
LOGFONTA DefaultEntryFont;

uint32_t PeriodMinutes(uint32_t period)
{
    switch (period) {
    case PERIOD_MINUTES: return 1;
    case PERIOD_HOURS: return 60;
    case PERIOD_DAYS: return 1440;
    case PERIOD_WEEKS: return 10080;
    default: return 0;
    }
}

uint32_t EntryIntervalMinutes(const FingerEntry& entry)
{
    return entry.interval * PeriodMinutes(entry.period);
}

void FetchDefaultEntryFont()
{
    ZeroMemory(&DefaultEntryFont, sizeof DefaultEntryFont);
    GetObjectA(GetStockObject(SYSTEM_FONT), sizeof DefaultEntryFont, &DefaultEntryFont);
}

// A batch that adds or frees thousands of entries holds the list
// throughout, taking it again for each entry.
void LockEntryList()
{
    TakeLock(EntryListMutex);
}

void UnlockEntryList()
{
    ReleaseLock(EntryListMutex);
}

void SetEntryDefaults(FingerEntry& entry)
{
    ZeroMemory(&entry, sizeof entry);
    entry.colour = RGB(0, 0, 0);
    entry.points = 120;
    entry.period = PERIOD_HOURS;
    entry.interval = 1;
    entry.font = DefaultEntryFont;
    AssignMonitorFileName(entry);
}

void AssignMonitorFileName(FingerEntry& entry)
{
    AssignMonitorFileNames(&entry, 1);
}

// One walk marks the numbers in use below the list's count plus the records'
// (no answer can be larger), so the cost stays linear however many names are
// taken and however many records are named.
void AssignMonitorFileNames(FingerEntry* records, size_t count)
{
    LockEntryList();
    std::vector<char> used(EntryList.count + count, 0);
    for (const FingerEntry* e = EntryList.head; e; e = e->next) {
        long number = MonitorNameNumber(e->monitorFile);
        if (number >= 0 && static_cast<size_t>(number) < used.size())
            used[number] = 1;
    }
    size_t k = 0;
    for (size_t i = 0; i < count; ++i) {
        while (used[k])
            ++k;
        used[k] = 1;
        MonitorName(static_cast<unsigned>(k), records[i].monitorFile);
    }
    UnlockEntryList();
}

FingerEntry* AllocateFingerEntry(const FingerEntry& prototype)
{
    auto* entry = static_cast<FingerEntry*>(HeapAlloc(GetProcessHeap(), 0, sizeof(FingerEntry)));
    if (!entry) {
        ShowMessageBox("Cannot allocate memory for new finger entry", "Allocate Finger Entry");
        return nullptr;
    }
    LockEntryList();
    *entry = prototype;
    entry->prev = nullptr;
    entry->next = nullptr;
    if (!EntryList.head)
        EntryList.head = entry;
    if (EntryList.tail) {
        entry->prev = EntryList.tail;
        EntryList.tail->next = entry;
    }
    EntryList.tail = entry;
    EntryList.count++;
    UnlockEntryList();
    return entry;
}

void FreeFingerEntry(FingerEntry* entry)
{
    if (!entry)
        return;
    LockEntryList();
    if (entry->prev)
        entry->prev->next = entry->next;
    else
        EntryList.head = entry->next;
    if (entry->next)
        entry->next->prev = entry->prev;
    else
        EntryList.tail = entry->prev;
    HeapFree(GetProcessHeap(), 0, entry);
    EntryList.count--;
    UnlockEntryList();
}

std::string FoldedName(const std::string& name)
{
    std::string folded = name;
    if (!folded.empty())
        CharUpperBuffA(folded.data(), static_cast<DWORD>(folded.size()));
    return folded;
}

const char* EntryTitle(const FingerEntry& entry)
{
    return (entry.flags & FE_TEMPORARY) ? entry.address : entry.description;
}

namespace {

void PutWord(unsigned char* at, uint32_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

uint32_t GetWord(const unsigned char* at)
{
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// Copies a text field of the image, cutting it at its width if it holds no NUL.
void GetText(const unsigned char* at, char* field, int width)
{
    memcpy(field, at, width);
    field[width - 1] = '\0';
}

void PutFont(unsigned char* at, const LOGFONTA& font)
{
    PutWord(at + 0, font.lfHeight);
    PutWord(at + 4, font.lfWidth);
    PutWord(at + 8, font.lfEscapement);
    PutWord(at + 12, font.lfOrientation);
    PutWord(at + 16, font.lfWeight);
    at[20] = font.lfItalic;
    at[21] = font.lfUnderline;
    at[22] = font.lfStrikeOut;
    at[23] = font.lfCharSet;
    at[24] = font.lfOutPrecision;
    at[25] = font.lfClipPrecision;
    at[26] = font.lfQuality;
    at[27] = font.lfPitchAndFamily;
    memcpy(at + 28, font.lfFaceName, LF_FACESIZE);
}

void GetFont(const unsigned char* at, LOGFONTA& font)
{
    font.lfHeight = static_cast<LONG>(GetWord(at + 0));
    font.lfWidth = static_cast<LONG>(GetWord(at + 4));
    font.lfEscapement = static_cast<LONG>(GetWord(at + 8));
    font.lfOrientation = static_cast<LONG>(GetWord(at + 12));
    font.lfWeight = static_cast<LONG>(GetWord(at + 16));
    font.lfItalic = at[20];
    font.lfUnderline = at[21];
    font.lfStrikeOut = at[22];
    font.lfCharSet = at[23];
    font.lfOutPrecision = at[24];
    font.lfClipPrecision = at[25];
    font.lfQuality = at[26];
    font.lfPitchAndFamily = at[27];
    GetText(at + 28, font.lfFaceName, LF_FACESIZE);
}

}

void EntryToRecordImage(const FingerEntry& entry, unsigned char image[ENTRY_RECORD_SIZE])
{
    memset(image, 0, ENTRY_RECORD_SIZE);
    memcpy(image + 0, entry.description, DESCRIPTION_SIZE);
    memcpy(image + 128, entry.address, ADDRESS_SIZE);
    memcpy(image + 256, entry.monitorFile, MONITOR_NAME_SIZE);
    PutWord(image + 272, entry.flags);
    PutWord(image + 276, entry.period);
    PutWord(image + 280, entry.interval);
    PutWord(image + 284, entry.fingerCount);
    PutWord(image + 288, static_cast<uint32_t>(entry.lastFingered));
    PutWord(image + 292, entry.reserved1);
    PutWord(image + 296, static_cast<uint32_t>(entry.nextFinger));
    PutWord(image + 300, entry.reserved2);
    PutWord(image + 304, entry.colour);
    PutWord(image + 308, entry.points);
    PutFont(image + 312, entry.font);
    PutWord(image + 372, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry.notifyWindow)));
    PutWord(image + 376, entry.changed);
    PutWord(image + 380, static_cast<uint32_t>(entry.outputStart));
    PutWord(image + 384, static_cast<uint32_t>(entry.outputEnd));
    memcpy(image + 388, entry.iconFile, PATH_SIZE);
    PutWord(image + 648, entry.iconIndex);
    PutWord(image + 652, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry.prev)));
}

void EntryFromRecordImage(const unsigned char image[ENTRY_RECORD_SIZE], FingerEntry& entry)
{
    ZeroMemory(&entry, sizeof entry);
    GetText(image + 0, entry.description, DESCRIPTION_SIZE);
    GetText(image + 128, entry.address, ADDRESS_SIZE);
    GetText(image + 256, entry.monitorFile, MONITOR_NAME_SIZE);
    entry.flags = GetWord(image + 272);
    entry.period = GetWord(image + 276);
    entry.interval = GetWord(image + 280);
    entry.fingerCount = GetWord(image + 284);
    entry.lastFingered = static_cast<int32_t>(GetWord(image + 288));
    entry.reserved1 = GetWord(image + 292);
    entry.nextFinger = static_cast<int32_t>(GetWord(image + 296));
    entry.reserved2 = GetWord(image + 300);
    entry.colour = GetWord(image + 304);
    entry.points = GetWord(image + 308);
    GetFont(image + 312, entry.font);
    entry.notifyWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(GetWord(image + 372)));
    entry.changed = GetWord(image + 376);
    entry.outputStart = static_cast<int32_t>(GetWord(image + 380));
    entry.outputEnd = static_cast<int32_t>(GetWord(image + 384));
    GetText(image + 388, entry.iconFile, PATH_SIZE);
    entry.iconIndex = GetWord(image + 648);
}
