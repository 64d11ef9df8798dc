#include "entries/message_box.h"

namespace {

HWND owner;

}

void SetMessageOwner(HWND window)
{
    owner = window;
}

HWND MessageOwner()
{
    return owner ? owner : GetDesktopWindow();
}

int ShowMessageBox(const char* text, const char* title, UINT type)
{
    return MessageBoxA(MessageOwner(), text, title, type);
}
