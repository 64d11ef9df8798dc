// The list view of finger entries.
#pragma once

#include "../entries/finger_entry.h"

int Redraw_FingerEntry(FingerEntry* entry);
void RequestResort();
extern volatile LONG ResortRequested;
