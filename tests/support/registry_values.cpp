#include "support/registry_values.h"

#include <cstring>

#include "entries/registry.h"

namespace {

// An open key, closed when it goes out of scope.
struct Key {
    HKEY handle = nullptr;
    ~Key()
    {
        if (handle)
            RegCloseKey(handle);
    }
};

bool CreateKey(const std::string& path, Key& key)
{
    return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key.handle,
                           nullptr) == ERROR_SUCCESS;
}

bool Set(HKEY key, const char* name, DWORD type, const void* data, DWORD size)
{
    return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

}

std::string ProgramKey(const std::string& below)
{
    return below.empty() ? std::string(PROGRAM_KEY_PATH) : std::string(PROGRAM_KEY_PATH) + "\\" + below;
}

void DeleteKeyTree(HKEY parent, const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (;;) {
            char name[260];
            DWORD length = sizeof name;
            if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            DeleteKeyTree(key, name);
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(parent, path);
}

bool PutValue(const std::string& below, const char* name, DWORD type, const void* data, DWORD size)
{
    Key key;
    return CreateKey(ProgramKey(below), key) && Set(key.handle, name, type, data, size);
}

bool PutWord(const std::string& below, const char* name, uint32_t value)
{
    return PutValue(below, name, REG_BINARY, &value, sizeof value);
}

bool PutText(const std::string& below, const char* name, const std::string& text)
{
    return PutValue(below, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

uint32_t RawValue::Word() const
{
    uint32_t value = 0;
    if (bytes.size() == sizeof value)
        memcpy(&value, bytes.data(), sizeof value);
    return value;
}

RawValue ReadValueAt(const std::string& path, const char* name)
{
    RawValue value;
    Key key;
    value.result = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key.handle);
    if (value.result != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    value.result = RegQueryValueExA(key.handle, name, nullptr, &value.type, nullptr, &size);
    if (value.result == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.result = RegQueryValueExA(key.handle, name, nullptr, &value.type,
                                        reinterpret_cast<BYTE*>(value.bytes.data()), &size);
        value.bytes.resize(size);
    }
    return value;
}

RawValue ReadValue(const std::string& below, const char* name)
{
    return ReadValueAt(ProgramKey(below), name);
}

std::vector<std::string> SubkeyNames(const std::string& path)
{
    std::vector<std::string> names;
    Key key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key.handle) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key.handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name);
    }
    return names;
}

std::map<std::string, RawValue> AllValues(const std::string& below)
{
    std::map<std::string, RawValue> values;
    Key key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ProgramKey(below).c_str(), 0, KEY_READ, &key.handle) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD length = sizeof name;
        if (RegEnumValueA(key.handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        values[name] = ReadValue(below, name);
    }
    return values;
}

ProfileSeed NewProfile(const std::string& key, const std::string& address, const std::string& monitorFile,
                       uint32_t flags)
{
    ProfileSeed seed;
    seed.key = key;
    seed.address = address;
    seed.monitorFile = monitorFile;
    seed.flags = flags;
    return seed;
}

bool SeedProfile(const ProfileSeed& seed)
{
    Key key;
    if (!CreateKey(ProgramKey("Profiles\\" + seed.key), key))
        return false;
    const auto word = [&key](const char* name, uint32_t value) { return Set(key.handle, name, REG_BINARY, &value, 4); };
    const auto text = [&key](const char* name, const std::string& value) {
        return Set(key.handle, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
    };
    return text("Address", seed.address) && text("Monitor Log", seed.monitorFile) && word("Flags", seed.flags) &&
           text("Icon Filename", seed.iconFile) && word("Icon Index", seed.iconIndex) &&
           word("NumFingers", seed.fingerCount) && word("Colour", seed.colour) && word("Points", seed.points) &&
           word("Period", seed.period) && word("Interval", seed.interval) &&
           word("Last Fingered", static_cast<uint32_t>(seed.lastFingered)) &&
           (!seed.hasFont || Set(key.handle, "Font", REG_BINARY, &seed.font, sizeof seed.font));
}
