// The finger client: one RFC 1288 query for the running job's entry.
#pragma once

#include <windows.h>
#include "../entries/finger_entry.h"

int FingerAddress(FingerEntry* entry);
