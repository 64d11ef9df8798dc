// Monitor files: the last answer of every entry, kept to find changes.
#pragma once

#include <cstdint>
#include "entries/finger_entry.h"

// Task thread, after a finger answer: logs it when the entry logs, compares it
// with the monitor file when the entry asks for notification (marking the
// entry changed when it differs) and stores it as the entry's monitor file.
// Temporary entries are only logged. Returns 0, or 1 when the file could not
// be stored (reported; the previous file is then left as it was).
int UpdateMonitorFile(FingerEntry* entry, const char* answer, uint32_t length);
