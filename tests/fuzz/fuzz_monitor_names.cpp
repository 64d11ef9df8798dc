// Holds monitor names, stored and given, to a plainer account. Input: a stored name (16 bytes), its first 4 a number.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "entries/monitor_names.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// A plain name ends inside its field, is no folder of its own ("." or "..") and no path.
bool Plain(const char (&name)[MONITOR_NAME_SIZE])
{
    const std::string_view text(name, strnlen(name, sizeof name));
    return text.size() < sizeof name && text != "" && text != "." && text != ".." &&
           text.find_first_of("\\/:") == text.npos;
}

// A numbered name is eight decimal digits and ".htm" in any letter case.
long Number(const char (&name)[MONITOR_NAME_SIZE])
{
    const std::string text(name, strnlen(name, sizeof name));
    if (text.size() != 12 || text.find_first_not_of("0123456789") != 8 || strcasecmp(text.c_str() + 8, ".htm") != 0)
        return -1;
    return std::stol(text.substr(0, 8));
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char stored[MONITOR_NAME_SIZE] = {};
    memcpy(stored, data, size < sizeof stored ? size : sizeof stored);
    Require(IsPlainFileName(stored) == Plain(stored) && MonitorNameNumber(stored) == Number(stored));
    // Every name given is plain and gives back its number, while that has eight digits.
    uint32_t number = 0;
    memcpy(&number, stored, sizeof number);
    char given[MONITOR_NAME_SIZE];
    MonitorName(number, given);
    Require(Plain(given) && IsPlainFileName(given) && Number(given) == (number < 100000000 ? long{number} : -1));
    Require(MonitorNameNumber(given) == Number(given));
    return 0;
}
