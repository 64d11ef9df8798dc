#include "jobs/scheduling.h"

#include <cstdio>
#include <ctime>

#include "entries/settings.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"

namespace {

int32_t (*scheduleClock)() = nullptr;

// True while FingerDueEntries walks the list. A message box opened from
// inside the walk runs its own message loop, whose timer ticks must not
// start a second walk.
bool walkingDueEntries = false;

bool KillPending()
{
    return (GetJobState() & JS_KILLING) != 0;
}

}

int32_t CurrentTime()
{
    if (scheduleClock)
        return scheduleClock();
    return static_cast<int32_t>(time(nullptr));
}

void SetScheduleClock(int32_t (*clock)())
{
    scheduleClock = clock;
}

uint32_t AutoIntervalMinutes(const FingerEntry* entry)
{
    return EntryIntervalMinutes(*entry);
}

void ScheduleNextFinger(FingerEntry* entry)
{
    const uint32_t seconds = AutoIntervalMinutes(entry) * 60u;
    entry->nextFinger = static_cast<int32_t>(static_cast<uint32_t>(CurrentTime()) + seconds);
}

int IsEntryDue(const FingerEntry* entry)
{
    if (!(entry->flags & FE_AUTO_FINGER))
        return 0;
    return CurrentTime() >= entry->nextFinger ? 1 : 0;
}

void ScheduleAllAutoEntries()
{
    LockEntryList();
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (entry->flags & FE_AUTO_FINGER)
            ScheduleNextFinger(entry);
    }
    UnlockEntryList();
}

int FingerDueEntries()
{
    if (walkingDueEntries)
        return 1;
    walkingDueEntries = true;
    LockEntryList();
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (!IsEntryDue(entry))
            continue;
        ScheduleNextFinger(entry);
        // A pending kill would refuse the job with a box on every tick; the
        // turn is skipped quietly instead.
        if (!KillPending())
            FingerEntryNow(entry);
    }
    UnlockEntryList();
    walkingDueEntries = false;
    return 1;
}

void FingerEntriesInGroups(uint32_t groupMask)
{
    LockEntryList();
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (entry->flags & groupMask)
            FingerEntryNow(entry);
    }
    UnlockEntryList();
}

void StartGroupFinger(int group)
{
    if (group < 0 || group >= GROUP_COUNT)
        return;
    const uint32_t mask = GroupMask(group);
    int count = 0;
    bool refusedForKill = false;
    LockEntryList();
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (!(entry->flags & mask))
            continue;
        ++count;
        if (KillPending())
            refusedForKill = true;
        else
            FingerEntryNow(entry);
    }
    UnlockEntryList();
    if (refusedForKill) {
        ShowKillPendingBox();
        return;
    }
    if (count == 0) {
        char message[256];
        snprintf(message, sizeof message,
                 "No entries have been assigned to the \"%s\" group.\n\nUse File->Set Groups to assign entries to groups.",
                 Settings.groupNames[group]);
        ReportBox(message, "Start Group Finger");
    }
}
