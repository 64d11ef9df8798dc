// Sends menu commands to a running Ombrelane, as its menus would:
//   send_command.exe ID [ID...]
// Each id is sent as WM_COMMAND to the main window (class "Ombrelane") and
// handled before the next is sent. Exit code 0, 1 when no main window
// was found, 2 for a bad id.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    HWND window = FindWindowA("Ombrelane", nullptr);
    if (!window) {
        fprintf(stderr, "no Ombrelane window\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        const long id = strtol(argv[i], &end, 10);
        if (!end || *end != '\0' || id <= 0 || id > 0xFFFF) {
            fprintf(stderr, "bad command id \"%s\"\n", argv[i]);
            return 2;
        }
        // Sent rather than posted, so the command has been handled when we go on.
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0, SMTO_NORMAL, 10000, &result);
    }
    return 0;
}
