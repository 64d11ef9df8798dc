#include "monitor_files.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "../entries/settings.h"
#include "../jobs/job_queue.h"
#include "../resources/resource.h"
#include "../shell/file_handle.h"
#include "../shell/shell_handles.h"
#include "../shell/waits.h"
#include "log_file.h"

char ProgramFolder[PATH_SIZE];
char MonitorFolder[PATH_SIZE];
char* AnswerBuffer;
char* CompareBuffer;
uint32_t OpenNotificationCount;
uint32_t ChangeBeepCount;

namespace {

// Bytes each buffer holds beyond the answer itself (room for the NUL).
constexpr uint32_t BUFFER_SLACK = 16;

// The answer size the buffers were made for; the most a read may fill.
uint32_t bufferAnswerSize;
HANDLE compareBufferMutex;

// Two 127-character fields and the fixed words.
char NotificationText[2 * DESCRIPTION_SIZE + 32];

// The open notification windows, offered every message of the main loop.
std::vector<HWND> openNotifications;


void ReleaseBuffers()
{
    if (AnswerBuffer)
        HeapFree(GetProcessHeap(), 0, AnswerBuffer);
    if (CompareBuffer)
        HeapFree(GetProcessHeap(), 0, CompareBuffer);
    AnswerBuffer = nullptr;
    CompareBuffer = nullptr;
    bufferAnswerSize = 0;
}

int AllocateBuffers()
{
    const uint32_t size = Settings.maxAllocSize;
    if (AnswerBuffer && CompareBuffer && bufferAnswerSize == size)
        return 1;
    ReleaseBuffers();
    if (!compareBufferMutex)
        compareBufferMutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (!compareBufferMutex)
        return 0;
    AnswerBuffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size) + BUFFER_SLACK));
    if (!AnswerBuffer)
        return 0;
    CompareBuffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size) + BUFFER_SLACK));
    if (!CompareBuffer) {
        ReleaseBuffers();
        return 0;
    }
    bufferAnswerSize = size;
    return 1;
}

bool WriteAll(HANDLE file, const char* bytes, uint32_t length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, length, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        length -= written;
    }
    return true;
}

// Replaces the file at path with the answer. The answer goes to a side file
// first, which then takes the old file's place, so a failed write never
// leaves a cut-off answer behind.
bool StoreAnswer(const char* path, const char* answer, uint32_t length)
{
    char sidePath[PATH_SIZE];
    if (snprintf(sidePath, sizeof sidePath, "%s.new", path) >= static_cast<int>(sizeof sidePath))
        return false;
    bool written;
    {
        FileHandle side(CreateFileA(sidePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE,
                                    nullptr));
        if (side.handle == INVALID_HANDLE_VALUE)
            return false;
        written = WriteAll(side.handle, answer, length);
    }
    if (written && MoveFileExA(sidePath, path, MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileA(sidePath);
    return false;
}

// Whether the answer differs from the stored one now in CompareBuffer.
bool AnswerDiffers(const char* answer, uint32_t length, long stored, bool storedLarger)
{
    return storedLarger || static_cast<uint32_t>(stored) != length || memcmp(CompareBuffer, answer, length) != 0;
}

// A monitor name must be a terminated, plain file name inside the monitor
// folder; anything else (stored data can hold anything) is no usable name.
bool IsPlainFileName(const char (&name)[MONITOR_NAME_SIZE])
{
    if (!memchr(name, '\0', sizeof name))
        return false;
    if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    return strpbrk(name, "\\/:") == nullptr;
}

// The monitor names in use, compared without regard to case, each with the
// number of entries that use it: one look-up tells whether another entry
// has a name, however many entries there are.
using MonitorNameCounts = std::unordered_map<std::string, int>;

std::string FoldedMonitorName(const char* name)
{
    std::string folded(name, strnlen(name, MONITOR_NAME_SIZE));
    if (!folded.empty())
        CharUpperBuffA(folded.data(), static_cast<DWORD>(folded.size()));
    return folded;
}

void CountMonitorName(MonitorNameCounts& names, const FingerEntry* entry)
{
    ++names[FoldedMonitorName(entry->monitorFile)];
}

void ForgetMonitorName(MonitorNameCounts& names, const FingerEntry* entry)
{
    const auto found = names.find(FoldedMonitorName(entry->monitorFile));
    if (found != names.end() && --found->second == 0)
        names.erase(found);
}

void ForgetNotification(HWND window)
{
    for (size_t i = 0; i < openNotifications.size(); ++i) {
        if (openNotifications[i] == window) {
            openNotifications.erase(openNotifications.begin() + static_cast<std::ptrdiff_t>(i));
            if (OpenNotificationCount > 0)
                --OpenNotificationCount;
            return;
        }
    }
}

}

int CreateMonitorFolder()
{
    DWORD attributes = GetFileAttributesA(MonitorFolder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 1;
    if (attributes == INVALID_FILE_ATTRIBUTES && CreateDirectoryA(MonitorFolder, nullptr))
        return 1;
    char text[PATH_SIZE + 64];
    snprintf(text, sizeof text, "Couldn't create the monitor subfolder \"%s\".", MonitorFolder);
    MessageBoxA(MessageOwner(), text, "Monitor Error", MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

int SetUpPaths()
{
    char program[PATH_SIZE];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        return 0;
    program[length] = '\0';
    // Drive and folder: everything up to and including the last separator.
    size_t folderLength = 0;
    for (size_t i = 0; i < length; ++i) {
        if (program[i] == '\\' || program[i] == '/' || program[i] == ':')
            folderLength = i + 1;
    }
    snprintf(ProgramFolder, sizeof ProgramFolder, "%.*s", static_cast<int>(folderLength), program);
    // Every monitor path ("<folder>\<name>" plus a ".new" side file) must fit.
    const int folderSize = snprintf(MonitorFolder, sizeof MonitorFolder, "%sMonitor", ProgramFolder);
    const bool monitorFits = folderSize + 1 + (MONITOR_NAME_SIZE - 1) + 4 < PATH_SIZE;

    if (Settings.logFile[0] == '\0') {
        char log[PATH_SIZE];
        if (snprintf(log, sizeof log, "%s%s", ProgramFolder, LOG_FILE_NAME) < static_cast<int>(sizeof log))
            snprintf(Settings.logFile, sizeof Settings.logFile, "%s", log);
    }
    if (Settings.options & OPT_CLEAR_LOG_AT_START)
        ClearLog();

    if (!monitorFits) {
        char text[PATH_SIZE + 64];
        snprintf(text, sizeof text, "Couldn't create the monitor subfolder \"%s\".", MonitorFolder);
        MessageBoxA(MessageOwner(), text, "Monitor Error", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    if (!CreateMonitorFolder())
        return 0;
    return AllocateBuffers();
}

void FreeAnswerBuffers()
{
    const bool taskThreadRunning = JobQueue.JobListMutex && !(JobQueue.jobState & JS_THREAD_ENDED);
    if (taskThreadRunning)
        return;
    ReleaseBuffers();
    if (compareBufferMutex) {
        CloseHandle(compareBufferMutex);
        compareBufferMutex = nullptr;
    }
}

long ReadIntoCompareBuffer(HANDLE file, bool* larger)
{
    if (larger)
        *larger = false;
    if (!CompareBuffer)
        return -1;
    DWORD total = 0;
    while (total < bufferAnswerSize) {
        DWORD got = 0;
        if (!ReadFile(file, CompareBuffer + total, bufferAnswerSize - total, &got, nullptr))
            return -1;
        if (got == 0)
            break;
        total += got;
    }
    CompareBuffer[total] = '\0';
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (larger && (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR))
        *larger = high != 0 || low > total;
    return static_cast<long>(total);
}

void LockCompareBuffer()
{
    WaitForMutex(compareBufferMutex);
}

void UnlockCompareBuffer()
{
    ReleaseMutexIfAny(compareBufferMutex);
}

int MonitorFilePath(const FingerEntry* entry, char* path, int size)
{
    if (size <= 0)
        return 1;
    if (snprintf(path, static_cast<size_t>(size), "%s\\%.*s", MonitorFolder, MONITOR_NAME_SIZE - 1,
                 entry->monitorFile) >= size) {
        path[0] = '\0';
        return 1;
    }
    return 0;
}

int UpdateMonitorFile(FingerEntry* entry, const char* answer, uint32_t length)
{
    if (entry->flags & FE_LOG_OUTPUT)
        AppendToLog(answer, length);
    if (entry->flags & FE_TEMPORARY)
        return 0;

    char path[PATH_SIZE];
    bool stored = false;
    if (IsPlainFileName(entry->monitorFile) && MonitorFilePath(entry, path, sizeof path) == 0) {
        LockCompareBuffer();
        // The stored answer is read back in any case: a file that already
        // holds this very answer needs no rewriting, which costs far more
        // than the reading.
        bool same = false;
        {
            FileHandle old(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            if (old.handle != INVALID_HANDLE_VALUE) {
                bool larger = false;
                long bytes = ReadIntoCompareBuffer(old.handle, &larger);
                same = bytes >= 0 && !AnswerDiffers(answer, length, bytes, larger);
                // A missing or empty file is a first answer, never a change.
                if ((entry->flags & FE_NOTIFY_CHANGES) && bytes > 0 && !same)
                    std::atomic_ref<uint32_t>(entry->changed).store(1);
            }
        }
        stored = same || StoreAnswer(path, answer, length);
        UnlockCompareBuffer();
    }
    if (!stored) {
        MessageBoxA(MessageOwner(), "Couldn't update monitor file", "Monitor Error", MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    return 0;
}

void NotifyChangedEntries()
{
    LockEntryList();
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (std::atomic_ref<uint32_t>(entry->changed).exchange(0) != 0) {
            ShowChangeNotification(entry);
            MessageBeep(MB_ICONASTERISK);
            ++ChangeBeepCount;
        }
    }
    UnlockEntryList();
}

void ShowChangeNotification(FingerEntry* entry)
{
    if (entry->flags & FE_NOTIFY_OPEN)
        return;
    snprintf(NotificationText, sizeof NotificationText, "%s\n(\"%s\")\nhas changed.", entry->description,
             entry->address);
    HWND window = CreateDialogParamA(ShellHandles.instance, MAKEINTRESOURCEA(IDD_CHANGE_NOTIFICATION),
                                     GetDesktopWindow(), ChangeNotificationProcedure, 0);
    if (!window)
        return;
    entry->notifyWindow = window;
    entry->flags |= FE_NOTIFY_OPEN;
    openNotifications.push_back(window);
    ++OpenNotificationCount;
}

void CloseChangeNotification(FingerEntry* entry)
{
    if (!(entry->flags & FE_NOTIFY_OPEN))
        return;
    HWND window = entry->notifyWindow;
    entry->flags &= ~static_cast<uint32_t>(FE_NOTIFY_OPEN);
    entry->notifyWindow = nullptr;
    if (window && IsWindow(window))
        DestroyWindow(window);
}

bool IsNotificationMessage(MSG* message)
{
    // A window that handles the message may close itself meanwhile, so the
    // walk ends at the first one that takes it.
    for (size_t i = 0; i < openNotifications.size(); ++i) {
        if (IsDialogMessageA(openNotifications[i], message))
            return true;
    }
    return false;
}

INT_PTR CALLBACK ChangeNotificationProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(window, IDC_NOTIFY_TEXT, NotificationText);
        return TRUE;
    case WM_COMMAND:
        PostMessageA(window, WM_CLOSE, 0, -1);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        // However the window goes (closed by the user, or with its entry),
        // the entry and the count forget it here.
        LockEntryList();
        for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
            if ((entry->flags & FE_NOTIFY_OPEN) && entry->notifyWindow == window) {
                entry->flags &= ~static_cast<uint32_t>(FE_NOTIFY_OPEN);
                entry->notifyWindow = nullptr;
                break;
            }
        }
        UnlockEntryList();
        ForgetNotification(window);
        return FALSE;
    }
    return FALSE;
}

int MigrateMonitorFiles()
{
    int converted = 0;
    LockEntryList();
    MonitorNameCounts names;
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next)
        CountMonitorName(names, entry);
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (entry->flags & FE_TEMPORARY)
            continue;
        if (!IsPlainFileName(entry->monitorFile)) {
            char text[DESCRIPTION_SIZE + 64];
            snprintf(text, sizeof text, "Rebuilding monitor filename for the entry:\n%s", entry->description);
            MessageBoxA(MessageOwner(), text, "Missing Monitor Filename", MB_OK | MB_ICONEXCLAMATION);
            ForgetMonitorName(names, entry);
            entry->monitorFile[0] = '\0';
            AssignMonitorFileName(*entry);
            CountMonitorName(names, entry);
        }
        const char* dot = strrchr(entry->monitorFile, '.');
        if (!dot || lstrcmpiA(dot, ".txt") != 0)
            continue;
        char oldPath[PATH_SIZE];
        char newPath[PATH_SIZE];
        if (MonitorFilePath(entry, oldPath, sizeof oldPath) != 0)
            continue;
        char renamed[MONITOR_NAME_SIZE];
        snprintf(renamed, sizeof renamed, "%.*s.htm", static_cast<int>(dot - entry->monitorFile), entry->monitorFile);
        // Two entries must never share a file: a name another entry already
        // has makes this one take a fresh name instead.
        ForgetMonitorName(names, entry);
        if (names.count(FoldedMonitorName(renamed)) != 0) {
            entry->monitorFile[0] = '\0';
            AssignMonitorFileName(*entry);
        } else {
            snprintf(entry->monitorFile, sizeof entry->monitorFile, "%s", renamed);
        }
        CountMonitorName(names, entry);
        if (MonitorFilePath(entry, newPath, sizeof newPath) == 0)
            MoveFileExA(oldPath, newPath, MOVEFILE_REPLACE_EXISTING);
        ++converted;
    }
    UnlockEntryList();
    if (converted != 0) {
        char title[64];
        snprintf(title, sizeof title, "Renamed %d Finger Entry Monitor Files", converted);
        MessageBoxA(MessageOwner(),
                    "Ombrelane has detected that you are using finger entries\nfrom version 1.1a or earlier. They "
                    "have been renamed to work\nwith this version.",
                    title, MB_OK | MB_ICONINFORMATION);
    }
    return 0;
}
