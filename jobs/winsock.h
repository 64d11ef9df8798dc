// Windows Sockets start-up and clean-up, error texts and the information dialog.
#pragma once

#include <winsock.h>

extern WSADATA WinsockData;
extern int winsockStarted;

int StartWinsock();
int StopWinsock();
int FormatWinsockError(char* buffer, int size, int code);
void ShowSystemError(DWORD code, const char* title);
INT_PTR CALLBACK WinsockInfoDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
