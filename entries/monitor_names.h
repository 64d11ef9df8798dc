// The names of monitor files: "%08d.htm" numbered names given to entries, and
// the test that a stored name names a plain file inside the monitor folder.
// Plain C++ with no Windows header, so it is fuzzed natively.
#pragma once

#include "entries/entry_fields.h"

// The numbered name of monitor file `number`: eight digits and ".htm".
void MonitorName(unsigned number, char (&name)[MONITOR_NAME_SIZE]);
// The number of a numbered name (the extension in any letter case), or -1
// for any other name.
long MonitorNameNumber(const char (&name)[MONITOR_NAME_SIZE]);
// Whether a monitor name is terminated inside its field and names a plain
// file inside the monitor folder; stored data can hold anything.
bool IsPlainFileName(const char (&name)[MONITOR_NAME_SIZE]);
