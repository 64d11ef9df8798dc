// Automatic fingering on a schedule, and fingering whole groups.
#pragma once

#include <cstdint>
#include "entries/finger_entry.h"

// The clock the schedule and the countdown read: seconds since 1970.
int32_t CurrentTime();
// Makes the schedule read another clock; null goes back to the system clock.
void SetScheduleClock(int32_t (*clock)());

uint32_t AutoIntervalMinutes(const FingerEntry* entry);
void ScheduleNextFinger(FingerEntry* entry);
int IsEntryDue(const FingerEntry* entry);
void ScheduleAllAutoEntries();
// Queues every scheduled entry that is due and gives it its next due time.
// While a kill is pending the due entries are only rescheduled. Returns 1.
int FingerDueEntries();
void FingerEntriesInGroups(uint32_t groupMask);
// Queues the members of group 0-4 (Mail, Status, #1, #2, #3); tells the user
// when the group has none, or once when a kill is pending.
void StartGroupFinger(int group);
