#include "log_file.h"

#include <shellapi.h>
#include <cstdio>

#include "../entries/settings.h"
#include "../shell/file_handle.h"
#include "../shell/shell_handles.h"

namespace {


}

void AppendToLog(const char* text, uint32_t length)
{
    if (!(Settings.options & OPT_LOGGING) || Settings.logFile[0] == '\0' || length == 0)
        return;
    // Readers may look at the log while it grows; writers are kept out so
    // that pieces never interleave.
    FileHandle log(CreateFileA(Settings.logFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_ARCHIVE, nullptr));
    if (log.handle == INVALID_HANDLE_VALUE)
        return;
    LONG high = 0;
    if (SetFilePointer(log.handle, 0, &high, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return;
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(log.handle, text, length, &written, nullptr) || written == 0)
            return;
        text += written;
        length -= written;
    }
}

void ViewLog(HWND owner)
{
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", Settings.logFile, "", "", SW_SHOWNORMAL));
    if (result > 32)
        return;
    if (result == SE_ERR_FNF) {
        MessageBoxA(owner, "The log is empty", "View Log", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    char text[PATH_SIZE + 32];
    snprintf(text, sizeof text, "Couldn't execute \"%s\"", Settings.logFile);
    MessageBoxA(owner, text, "View Log", MB_OK | MB_ICONEXCLAMATION);
}

void ClearLog()
{
    if (Settings.logFile[0] != '\0')
        DeleteFileA(Settings.logFile);
}

void ClearLogCommand()
{
    if (MessageBoxA(MessageOwner(), "Are you sure you want to clear the log?", "Clear Log",
                    MB_YESNO | MB_ICONEXCLAMATION) == IDYES)
        ClearLog();
}
