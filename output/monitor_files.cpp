#include "output/monitor_files.h"
#include "output/answer_buffers.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "entries/file_handle.h"
#include "entries/message_box.h"
#include "entries/monitor_names.h"
#include "output/log_file.h"

namespace {

// Replaces the file at path with the answer. The answer goes to a side file
// first, which then takes the old file's place, so a failed write never
// leaves a cut-off answer behind.
bool StoreAnswer(const char* path, const char* answer, uint32_t length)
{
    char sidePath[PATH_SIZE];
    if (snprintf(sidePath, sizeof sidePath, "%s.new", path) >= static_cast<int>(sizeof sidePath))
        return false;
    int failed;
    {
        FileHandle side(CreateFileA(sidePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE,
                                    nullptr));
        if (side.handle == INVALID_HANDLE_VALUE)
            return false;
        failed = WriteWholeBytes(side.handle, answer, length);
    }
    if (!failed && MoveFileExA(sidePath, path, MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileA(sidePath);
    return false;
}

// Whether the answer differs from the stored one now in CompareBuffer.
bool AnswerDiffers(const char* answer, uint32_t length, long stored, bool storedLarger)
{
    return storedLarger || static_cast<uint32_t>(stored) != length || memcmp(CompareBuffer, answer, length) != 0;
}

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
        ShowMessageBox("Couldn't update monitor file", "Monitor Error");
        return 1;
    }
    return 0;
}
