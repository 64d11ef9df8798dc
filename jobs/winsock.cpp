// Windows Sockets start-up and clean-up, error texts and the information dialog.
#include "jobs/winsock.h"

#include <cstdio>
#include <cstring>

#include "entries/message_box.h"
#include "resources/resource.h"

WSADATA WinsockData;
int winsockStarted;

const char* const WinsockErrorNames[WINSOCK_LAST_NAMED_ERROR - WINSOCK_FIRST_NAMED_ERROR + 1] = {
    "WSAEWOULDBLOCK",      // 10035
    "WSAEINPROGRESS",      // 10036
    "WSAEALREADY",         // 10037
    "WSAENOTSOCK",         // 10038
    "WSAEDESTADDRREQ",     // 10039
    "WSAEMSGSIZE",         // 10040
    "WSAEPROTOTYPE",       // 10041
    "WSAENOPROTOOPT",      // 10042
    "WSAEPROTONOSUPPORT",  // 10043
    "WSAESOCKTNOSUPPORT",  // 10044
    "WSAEOPNOTSUPP",       // 10045
    "WSAEPFNOSUPPORT",     // 10046
    "WSAEAFNOSUPPORT",     // 10047
    "WSAEADDRINUSE",       // 10048
    "WSAEADDRNOTAVAIL",    // 10049
    "WSAENETDOWN",         // 10050
    "WSAENETUNREACH",      // 10051
    "WSAENETRESET",        // 10052
    "WSAECONNABORTED",     // 10053
    "WSAECONNRESET",       // 10054
    "WSAENOBUFS",          // 10055
    "WSAEISCONN",          // 10056
    "WSAENOTCONN",         // 10057
    "WSAESHUTDOWN",        // 10058
    "WSAETOOMANYREFS",     // 10059
    "WSAETIMEDOUT",        // 10060
    "WSAECONNREFUSED",     // 10061
    "WSAELOOP",            // 10062
    "WSAENAMETOOLONG",     // 10063
    "WSAEHOSTDOWN",        // 10064
    "WSAEHOSTUNREACH",     // 10065
    "WSAENOTEMPTY",        // 10066
    "WSAEPROCLIM",         // 10067
    "WSAEUSERS",           // 10068
    "WSAEDQUOT",           // 10069
    "WSAESTALE",           // 10070
    "WSAEREMOTE",          // 10071
};

int StartWinsock()
{
    int result = WSAStartup(0x0101, &WinsockData);
    if (result != 0) {
        ShowMessageBox("Couldn't initialise the WinSockets", "Fatal error");
        return result;
    }
    winsockStarted = 1;
    return 0;
}

int StopWinsock()
{
    if (!winsockStarted)
        return 0;
    int result = WSACleanup();
    if (result != 0) {
        // Shutdown has cleared the main window by now, so the box usually has no owner.
        ShowMessageBox("Couldn't clean up the WinSockets", "Warning");
        return result;
    }
    winsockStarted = 0;
    return 0;
}

int FormatWinsockError(char* buffer, int size, int code)
{
    if (buffer == nullptr || size <= 0)
        return 0;
    int length;
    if (code >= WINSOCK_FIRST_NAMED_ERROR && code <= WINSOCK_LAST_NAMED_ERROR)
        length = snprintf(buffer, static_cast<size_t>(size), "(%d - \"%s\")", code,
                          WinsockErrorNames[code - WINSOCK_FIRST_NAMED_ERROR]);
    else
        length = snprintf(buffer, static_cast<size_t>(size), "(%d)", code);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return length < size ? length : size - 1;
}

void ShowSystemError(DWORD code, const char* title)
{
    char text[512];
    // Inserts are left as they are: there are no arguments to put in them.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof(text), nullptr);
    if (length == 0)
        text[0] = '\0';
    ShowMessageBox(text, title);
}

INT_PTR CALLBACK WinsockInfoDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        char text[64];
        snprintf(text, sizeof(text), "%d.%d", LOBYTE(WinsockData.wHighVersion), HIBYTE(WinsockData.wHighVersion));
        SetDlgItemTextA(dialog, IDC_WINSOCK_VERSION, text);
        SetDlgItemTextA(dialog, IDC_WINSOCK_DESCRIPTION, WinsockData.szDescription);
        SetDlgItemTextA(dialog, IDC_WINSOCK_STATUS, WinsockData.szSystemStatus);
        snprintf(text, sizeof(text), "%i", static_cast<int>(WinsockData.iMaxSockets));
        SetDlgItemTextA(dialog, IDC_WINSOCK_MAX_SOCKETS, text);
        return TRUE;
    }
    case WM_COMMAND:
        // OK, Esc and the close box all close it.
        if (LOWORD(wParam) == IDC_WINSOCK_OK || LOWORD(wParam) == IDCANCEL) {
            PostMessageA(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}
