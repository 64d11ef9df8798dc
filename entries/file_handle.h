// Closes a file handle when it goes out of scope.
#pragma once

#include <windows.h>
#include <cstdint>

struct FileHandle {
    HANDLE handle;
    explicit FileHandle(HANDLE h) : handle(h) {}
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

// Writes all length bytes at the file's position, going on after a write
// that took only part of them. Returns 0, or 1 when a write failed or wrote
// nothing (part of the bytes may then be in the file).
inline int WriteWholeBytes(HANDLE file, const char* bytes, uint32_t length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, length, &written, nullptr) || written == 0)
            return 1;
        bytes += written;
        length -= written;
    }
    return 0;
}
