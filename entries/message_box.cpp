#include "entries/message_box.h"

namespace {

HWND owner;

}

void SetMessageOwner(HWND window)
{
    owner = window;
}

// A box sits on the window the user is working in: a dialog of the main
// window while one is open, so that the dialog cannot be used behind its own
// box; otherwise the main window itself.
HWND MessageOwner()
{
    if (!owner)
        return GetDesktopWindow();
    HWND active = GetActiveWindow();
    for (HWND window = active; window; window = GetWindow(window, GW_OWNER)) {
        if (window == owner)
            return active;
    }
    return owner;
}

int ShowMessageBox(const char* text, const char* title, UINT type)
{
    return MessageBoxA(MessageOwner(), text, title, type);
}
