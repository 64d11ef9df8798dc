#include "output/answer_buffers.h"

#include <cstdio>

#include "entries/message_box.h"
#include "entries/settings.h"
#include "entries/waits.h"
#include "output/log_file.h"

char ProgramFolder[PATH_SIZE];
char MonitorFolder[PATH_SIZE];
char* CompareBuffer;

namespace {

// Bytes the buffer holds beyond the answer itself (room for the NUL).
constexpr uint32_t BUFFER_SLACK = 16;

// The answer size the buffer was made for; the most a read may fill.
uint32_t bufferAnswerSize;
ProgramLock compareBufferMutex;

void ReleaseBuffers()
{
    if (CompareBuffer)
        HeapFree(GetProcessHeap(), 0, CompareBuffer);
    CompareBuffer = nullptr;
    bufferAnswerSize = 0;
}

int AllocateBuffers()
{
    const uint32_t size = Settings.maxAllocSize;
    if (CompareBuffer && bufferAnswerSize == size)
        return 0;
    ReleaseBuffers();
    CompareBuffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size) + BUFFER_SLACK));
    if (!CompareBuffer)
        return 1;
    bufferAnswerSize = size;
    return 0;
}

void ReportMonitorFolderFailure()
{
    char text[PATH_SIZE + 64];
    snprintf(text, sizeof text, "Couldn't create the monitor subfolder \"%s\".", MonitorFolder);
    ShowMessageBox(text, "Monitor Error");
}

}

int CreateMonitorFolder()
{
    DWORD attributes = GetFileAttributesA(MonitorFolder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    if (attributes == INVALID_FILE_ATTRIBUTES && CreateDirectoryA(MonitorFolder, nullptr))
        return 0;
    ReportMonitorFolderFailure();
    return 1;
}

int SetUpPaths()
{
    char program[PATH_SIZE];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        return 1;
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
        ReportMonitorFolderFailure();
        return 1;
    }
    if (CreateMonitorFolder() != 0)
        return 1;
    return AllocateBuffers();
}

void FreeAnswerBuffers(bool taskThreadRunning)
{
    if (taskThreadRunning)
        return;
    ReleaseBuffers();
    CloseLock(compareBufferMutex);
}

void LockCompareBuffer()
{
    TakeLock(compareBufferMutex);
}

void UnlockCompareBuffer()
{
    ReleaseLock(compareBufferMutex);
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
