// Holds the saved entries file checks to a plainer account of a well-formed file, and to each other.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "entries/entries_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

EntriesFileCheck Expected(const uint8_t* data, size_t size)
{
    using enum EntriesFileCheck;
    // The file is little-endian, and so is every host this runs on.
    const auto number = [data](size_t at) { int32_t n; memcpy(&n, data + at, sizeof n); return n; };
    if (size < 17) return Incomplete;
    if (std::string_view(reinterpret_cast<const char*>(data), 17) != "Ombrelane Entries") return NotOurs;
    if (size < 21) return Incomplete;
    if (number(17) != 656) return OtherVersion;
    if (size < 25) return Incomplete;
    if (number(21) < 0) return Damaged;
    const size_t count = static_cast<size_t>(number(21)), whole = (size - 25) / 656;
    if (whole < count) return Incomplete;
    if (whole > count || (size - 25) % 656 != 0) return Damaged;
    // Description, address, monitor file, font face, icon file: each ends inside its width.
    const size_t fields[][2] = {{0, 128}, {128, 128}, {256, 16}, {340, 32}, {388, 260}};
    for (const uint8_t* record = data + 25; record < data + size; record += 656)
        for (const auto& [offset, width] : fields)
            if (strnlen(reinterpret_cast<const char*>(record + offset), width) == width) return Damaged;
    return Good;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t count = 1, headerCount = 1;
    const EntriesFileCheck verdict = CheckEntriesFile(data, size, &count);
    Require(verdict == Expected(data, size));
    // The program judges the header from its first bytes and the file's size alone.
    const EntriesFileCheck header = CheckEntriesHeader(data, size < 25 ? size : 25, size, &headerCount);
    Require(header == verdict || (header == EntriesFileCheck::Good && verdict == EntriesFileCheck::Damaged));
    Require(verdict == EntriesFileCheck::Good ? headerCount == count : count == 0);
    if (verdict != EntriesFileCheck::Good)
        return 0;
    unsigned char made[ENTRIES_HEADER_SIZE];
    MakeEntriesHeader(made, count);
    Require(memcmp(made, data, sizeof made) == 0);
    for (uint32_t i = 0; i < count; ++i)
        Require(IsWellFormedRecord(data + 25 + 656 * size_t{i}));
    return 0;
}
