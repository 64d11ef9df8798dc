// The whois client: one RFC 954 lookup for the running job's entry.
#pragma once

#include "entries/finger_entry.h"

// Task thread: sends the entry's address, unchanged, to the whois server of
// the settings and shows the answer as it arrives (and logs it when the entry
// logs). Returns 0 when the answer was received (also when it was cut short),
// 1 when the lookup stopped before that.
int WhoisAddress(FingerEntry* entry);
