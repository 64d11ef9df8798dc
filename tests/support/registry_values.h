// Reading and writing the program's registry values directly, for tests and
// the start-up benchmark: keys are named relative to the program key.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The path below HKEY_CURRENT_USER of a key below the program key ("": the
// program key itself).
std::string ProgramKey(const std::string& below);

// Deletes a key with everything below it; a missing key is fine.
void DeleteKeyTree(HKEY parent, const char* path);

// Writes a value of a key below the program key ("": the program key itself),
// creating keys as needed; false when the key or the value could not be written.
bool PutValue(const std::string& below, const char* name, DWORD type, const void* data, DWORD size);
bool PutWord(const std::string& below, const char* name, uint32_t value);
bool PutText(const std::string& below, const char* name, const std::string& text);

// A value as stored: the result of reading it, its type and its bytes.
struct RawValue {
    LONG result = ERROR_FILE_NOT_FOUND;
    DWORD type = 0;
    std::string bytes;

    bool operator==(const RawValue& other) const = default;
    bool Is(DWORD expectedType, size_t size) const
    {
        return result == ERROR_SUCCESS && type == expectedType && bytes.size() == size;
    }
    // The 4-byte number, 0 for a value of another size.
    uint32_t Word() const;
    // The text up to its first NUL.
    std::string Text() const { return std::string(bytes.c_str()); }
};

// A value of any key of HKEY_CURRENT_USER, and of a key below the program key.
RawValue ReadValueAt(const std::string& path, const char* name);
RawValue ReadValue(const std::string& below, const char* name);

// The subkey names of a key of HKEY_CURRENT_USER, in enumeration order.
std::vector<std::string> SubkeyNames(const std::string& path);
// Every value of a key below the program key, by name.
std::map<std::string, RawValue> AllValues(const std::string& below);

// One stored entry with every profile value a save writes; the font is
// written only when hasFont is set.
struct ProfileSeed {
    std::string key;
    std::string address;
    std::string monitorFile;
    uint32_t flags = 0;
    std::string iconFile;
    uint32_t iconIndex = 0;
    uint32_t fingerCount = 0;
    uint32_t colour = 0;
    uint32_t points = 120;
    bool hasFont = false;
    LOGFONTA font = {};
    uint32_t period = 0;
    uint32_t interval = 0;
    int32_t lastFingered = 0;
};
ProfileSeed NewProfile(const std::string& key, const std::string& address, const std::string& monitorFile,
                       uint32_t flags = 0);
bool SeedProfile(const ProfileSeed& seed);
