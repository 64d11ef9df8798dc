// Reading and writing the program's registry values directly, for tests and the
// start-up benchmark: keys are named below the program key ("": the key itself).
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Deletes a key with everything below it; a missing key is fine.
void DeleteKeyTree(HKEY parent, const char* path);

// Writes a value, creating keys as needed; false when it could not be written.
bool PutValue(const std::string& below, const char* name, DWORD type, const void* data, DWORD size);
// A number as a save stores it: 4 bytes of REG_BINARY.
bool PutWord(const std::string& below, const char* name, uint32_t value);
bool PutText(const std::string& below, const char* name, const std::string& text);

// A value as stored: the result of reading it, its type and its bytes.
struct RawValue {
    LONG result = ERROR_FILE_NOT_FOUND;
    DWORD type = 0;
    std::string bytes;

    bool operator==(const RawValue& other) const = default;
    // The text up to its first NUL.
    std::string Text() const { return std::string(bytes.c_str()); }
};

RawValue ReadValue(const std::string& below, const char* name);
std::map<std::string, RawValue> AllValues(const std::string& below);
// The subkey names of a key of HKEY_CURRENT_USER, in enumeration order.
std::vector<std::string> SubkeyNames(const std::string& path);

// One stored entry with every profile value a save writes; the font is
// written only when hasFont is set.
struct ProfileSeed {
    std::string key, address, monitorFile;
    uint32_t flags = 0;
    std::string iconFile{};
    uint32_t iconIndex = 0, fingerCount = 0, colour = 0, points = 120;
    bool hasFont = false;
    LOGFONTA font = {};
    uint32_t period = 0, interval = 0;
    int32_t lastFingered = 0;
};
inline ProfileSeed NewProfile(const std::string& key, const std::string& address, const std::string& monitorFile,
                              uint32_t flags = 0)
{
    return {key, address, monitorFile, flags};
}
bool SeedProfile(const ProfileSeed& seed);
