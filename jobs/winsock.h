// Windows Sockets start-up and clean-up, error texts and the information dialog.
#pragma once

#include <winsock.h>

// The first and last code that WinsockErrorNames names.
constexpr int WINSOCK_FIRST_NAMED_ERROR = 10035;
constexpr int WINSOCK_LAST_NAMED_ERROR = 10071;

// What the sockets library reported at start-up, kept for the whole run.
extern WSADATA WinsockData;
// 1 from a successful WSAStartup until a successful WSACleanup.
extern int winsockStarted;
// The constant names of the error codes 10035 to 10071, one per code.
extern const char* const WinsockErrorNames[WINSOCK_LAST_NAMED_ERROR - WINSOCK_FIRST_NAMED_ERROR + 1];

int StartWinsock();
int StopWinsock();
// Writes (code - "NAME") or (code) into buffer; returns the length written.
int FormatWinsockError(char* buffer, int size, int code);
void ShowSystemError(DWORD code, const char* title);
INT_PTR CALLBACK WinsockInfoDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
