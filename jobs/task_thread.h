// The worker thread that runs the queued jobs one at a time.
#pragma once

#include <windows.h>
#include "entries/finger_entry.h"

// Makes the job mutexes, starts the thread and queues the entries marked to be
// fingered at start. Returns 0, or 1 when the thread could not be made (the
// failure is reported as a box).
int StartTaskThread();
void ProcessJob();
void RunFingerJob(FingerEntry* entry);
void RunWhoisJob(FingerEntry* entry);
int FormatTimeStamp(char* buffer, int size);

extern const char SimulatedFingerAnswer[];
extern const char SimulatedWhoisAnswer[];
