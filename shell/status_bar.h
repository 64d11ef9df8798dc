// Status bar texts.
#pragma once

#include <windows.h>

constexpr int STATUS_TIP_SIZE = 256;
extern char StatusTipCopy[STATUS_TIP_SIZE];
extern volatile LONG StatusDirty;

LRESULT SetStatusText(int part, const char* text);
void MarkStatusDirty();
