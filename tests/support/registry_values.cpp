#include "support/registry_values.h"

#include <memory>

#include "entries/registry.h"

namespace {

std::string ProgramKey(const std::string& below)
{
    return below.empty() ? std::string(PROGRAM_KEY_PATH) : std::string(PROGRAM_KEY_PATH) + "\\" + below;
}

// A key opened for reading, or created; null when it could not be had, and
// every call on it fails then.
std::unique_ptr<HKEY__, decltype(&RegCloseKey)> Open(HKEY parent, const std::string& path, bool create = false)
{
    HKEY key = nullptr;
    if (create)
        RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    else
        RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key);
    return {key, RegCloseKey};
}

// The names of a key's subkeys, or of its values, in enumeration order.
std::vector<std::string> Names(HKEY parent, const std::string& path, bool values)
{
    std::vector<std::string> names;
    const auto key = Open(parent, path);
    for (char name[260];;) {
        DWORD length = sizeof name;
        const DWORD index = static_cast<DWORD>(names.size());
        const LONG result = values ? RegEnumValueA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr)
                                   : RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            return names;
        names.emplace_back(name);
    }
}

}

void DeleteKeyTree(HKEY parent, const char* path)
{
    for (const std::string& name : Names(parent, path, false))
        DeleteKeyTree(parent, (std::string(path) + "\\" + name).c_str());
    RegDeleteKeyA(parent, path);
}

bool PutValue(const std::string& below, const char* name, DWORD type, const void* data, DWORD size)
{
    const auto key = Open(HKEY_CURRENT_USER, ProgramKey(below), true);
    return RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool PutWord(const std::string& below, const char* name, uint32_t value)
{
    return PutValue(below, name, REG_BINARY, &value, sizeof value);
}

bool PutText(const std::string& below, const char* name, const std::string& text)
{
    return PutValue(below, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

RawValue ReadValue(const std::string& below, const char* name)
{
    RawValue value{0, 0, std::string(4096, '\0')};
    DWORD size = static_cast<DWORD>(value.bytes.size());
    value.result = RegGetValueA(HKEY_CURRENT_USER, ProgramKey(below).c_str(), name, RRF_RT_ANY | RRF_NOEXPAND,
                                &value.type, value.bytes.data(), &size);
    value.bytes.resize(value.result == ERROR_SUCCESS ? size : 0);
    return value;
}

std::map<std::string, RawValue> AllValues(const std::string& below)
{
    std::map<std::string, RawValue> values;
    for (const std::string& name : Names(HKEY_CURRENT_USER, ProgramKey(below), true))
        values[name] = ReadValue(below, name.c_str());
    return values;
}

std::vector<std::string> SubkeyNames(const std::string& path)
{
    return Names(HKEY_CURRENT_USER, path, false);
}

bool SeedProfile(const ProfileSeed& seed)
{
    const std::string key = "Profiles\\" + seed.key;
    return PutText(key, "Address", seed.address) && PutText(key, "Monitor Log", seed.monitorFile) &&
           PutWord(key, "Flags", seed.flags) && PutText(key, "Icon Filename", seed.iconFile) &&
           PutWord(key, "Icon Index", seed.iconIndex) && PutWord(key, "NumFingers", seed.fingerCount) &&
           PutWord(key, "Colour", seed.colour) && PutWord(key, "Points", seed.points) &&
           PutWord(key, "Period", seed.period) && PutWord(key, "Interval", seed.interval) &&
           PutWord(key, "Last Fingered", static_cast<uint32_t>(seed.lastFingered)) &&
           (!seed.hasFont || PutValue(key, "Font", REG_BINARY, &seed.font, sizeof seed.font));
}
