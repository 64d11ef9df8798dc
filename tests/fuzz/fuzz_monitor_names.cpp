// Holds the monitor name rules to a plainer account of them, and the names given to entries to the rules. The
// input's first 16 bytes are a stored name (zeros after a shorter input); its first 4 are also a number to name.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "entries/monitor_names.h"

namespace {

void Require(bool truth)
{
    if (!truth)
        abort();
}

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
    std::string extension = text.substr(text.size() < 8 ? text.size() : 8);
    for (char& c : extension)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (text.size() != 12 || text.find_first_not_of("0123456789") != 8 || extension != ".htm")
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
