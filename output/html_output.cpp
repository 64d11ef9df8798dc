#include "output/html_output.h"

#include <objbase.h>
#include <shellapi.h>
#include <cstdio>
#include <cstring>

#include "entries/file_handle.h"
#include "entries/message_box.h"
#include "entries/settings.h"
#include "output/answer_buffers.h"
#include "output/output_window.h"

namespace {


// The shell may hand a launch to extensions that need COM, and the task
// thread has not initialised it; this keeps it initialised for one launch.
struct ComScope {
    bool initialised;
    ComScope() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope()
    {
        if (initialised)
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

bool HasMonitorFile(const FingerEntry* entry)
{
    return !(entry->flags & FE_TEMPORARY) && entry->monitorFile[0] != '\0';
}

}

bool IsHtmlOutput(const FingerEntry* entry, const char* answer)
{
    if (!entry || (entry->flags & FE_HTML_NEVER) || !HasMonitorFile(entry))
        return false;
    if (entry->flags & FE_HTML_ALWAYS)
        return true;
    if (!(Settings.options & OPT_AUTO_HTML))
        return false;
    const char* open = strstr(answer, "<html>");
    if (!open)
        open = strstr(answer, "<HTML>");
    if (!open)
        return false;
    const char* close = strstr(answer, "</html>");
    if (close)
        return close >= open;
    close = strstr(answer, "</HTML>");
    return close && close >= open;
}

int FindAssociatedProgram(const char* file, const char* directory, char* result)
{
    result[0] = '\0';
    auto found = reinterpret_cast<INT_PTR>(FindExecutableA(file, directory, result));
    if (found > 32)
        return 0;
    result[0] = '\0';
    char text[PATH_SIZE + 64];
    if (found == SE_ERR_FNF)
        snprintf(text, sizeof text, "Couldn't find: %s", file);
    else
        snprintf(text, sizeof text, "Couldn't find a program associated with:\n%s", file);
    ShowMessageBox(text, "Ombrelane");
    return 1;
}

INT_PTR OpenWithProgram(HWND owner, const char* program, const char* document)
{
    char parameters[PATH_SIZE + 34];
    snprintf(parameters, sizeof parameters, "\"%s\"", document);
    ComScope com;
    return reinterpret_cast<INT_PTR>(ShellExecuteA(owner, nullptr, program, parameters, "", SW_SHOWNORMAL));
}

int ViewHtmlOutput(const FingerEntry* entry)
{
    if (!HasMonitorFile(entry))
        return 1;
    char path[PATH_SIZE];
    if (MonitorFilePath(entry, path, sizeof path) != 0)
        return 1;
    char program[PATH_SIZE];
    if (Settings.options & OPT_USER_BROWSER) {
        snprintf(program, sizeof program, "%s", Settings.userBrowser);
    } else if (FindAssociatedProgram(path, "", program) != 0) {
        return 1;
    }
    const INT_PTR result = OpenWithProgram(MessageOwner(), program, path);
    if (result > 32)
        return 0;
    char text[PATH_SIZE + 64];
    if (result == SE_ERR_FNF)
        snprintf(text, sizeof text, "Couldn't view the HTML last output -- not found");
    else
        snprintf(text, sizeof text, "Couldn't view \"%s\"", path);
    ShowMessageBox(text, "View HTML Output");
    return 1;
}

int ShowFileInOutput(const FingerEntry* entry, const char* path)
{
    FileHandle file(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE)
        return 1;
    // The task thread compares answers in the same buffer.
    LockCompareBuffer();
    const long total = ReadIntoCompareBuffer(file.handle);
    if (total < 0) {
        UnlockCompareBuffer();
        return 1;
    }
    if (entry && IsHtmlOutput(entry, CompareBuffer)) {
        UnlockCompareBuffer();
        ViewHtmlOutput(entry);
        return 0;
    }
    if (total > 0)
        StreamBufferToOutput(entry, CompareBuffer, static_cast<uint32_t>(total));
    UnlockCompareBuffer();
    return 0;
}

int ViewEntryLastOutput(const FingerEntry* entry)
{
    char path[PATH_SIZE];
    if (MonitorFilePath(entry, path, sizeof path) != 0)
        return 1;
    return ShowFileInOutput(entry, path);
}

int ShowWelcomeDocument(const char* name)
{
    return ShowFileInOutput(nullptr, name);
}
