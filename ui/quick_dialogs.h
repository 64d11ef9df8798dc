// Quick finger and quick whois: one query for an address typed on the spot,
// through a temporary entry that the task thread frees after its job.
#pragma once

#include <windows.h>

// Each asks for an address in its dialog, owned by owner, and queues one job
// for it. A call while the same command's dialog is open does nothing.
void QuickFinger(HWND owner);
void QuickWhois(HWND owner);
