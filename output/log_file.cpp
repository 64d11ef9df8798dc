#include "output/log_file.h"

#include <shellapi.h>
#include <cstdio>

#include "entries/file_handle.h"
#include "entries/message_box.h"
#include "entries/settings.h"

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
    WriteWholeBytes(log.handle, text, length);
}

void ViewLog(HWND owner)
{
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", Settings.logFile, "", "", SW_SHOWNORMAL));
    if (result > 32)
        return;
    if (result == SE_ERR_FNF) {
        ShowMessageBox("The log is empty", "View Log");
        return;
    }
    char text[PATH_SIZE + 32];
    snprintf(text, sizeof text, "Couldn't execute \"%s\"", Settings.logFile);
    ShowMessageBox(text, "View Log");
}

void ClearLog()
{
    if (Settings.logFile[0] != '\0')
        DeleteFileA(Settings.logFile);
}

void ClearLogCommand()
{
    if (ShowMessageBox("Are you sure you want to clear the log?", "Clear Log", MB_YESNO | MB_ICONEXCLAMATION) == IDYES)
        ClearLog();
}
