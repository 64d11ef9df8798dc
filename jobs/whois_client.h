// The whois client: one RFC 954 lookup for the running job's entry.
#pragma once

#include <windows.h>
#include "../entries/finger_entry.h"

int WhoisAddress(FingerEntry* entry);
