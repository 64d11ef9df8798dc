// The worker thread that runs the queued jobs one at a time.
#pragma once

#include <windows.h>
#include "entries/finger_entry.h"

int StartTaskThread(HWND owner);
void ProcessJob();
void RunFingerJob(FingerEntry* entry);
void RunWhoisJob(FingerEntry* entry);
int FormatTimeStamp(char* buffer, int size);

extern const char SimulatedFingerAnswer[];
extern const char SimulatedWhoisAnswer[];
