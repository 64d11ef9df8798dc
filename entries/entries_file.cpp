#include "entries/entries_file.h"

#include <cstring>

namespace {

constexpr char MAGIC[] = "Ombrelane Entries";
static_assert(sizeof MAGIC - 1 == ENTRIES_MAGIC_SIZE, "the magic is stored without its NUL");

constexpr size_t LENGTH_OFFSET = 17;
constexpr size_t COUNT_OFFSET = 21;
static_assert(COUNT_OFFSET + 4 == ENTRIES_HEADER_SIZE, "the count ends the header");

// A LOGFONTA's face name; the Windows constant is out of reach here.
constexpr int FACE_NAME_SIZE = 32;

struct TextField {
    size_t offset;
    size_t width;
};

// Every text field of a record image. Readers copy them as C strings, so each
// must end inside its width.
constexpr TextField TEXT_FIELDS[] = {
    {0, DESCRIPTION_SIZE},
    {128, ADDRESS_SIZE},
    {256, MONITOR_NAME_SIZE},
    {340, FACE_NAME_SIZE},
    {388, PATH_SIZE},
};
static_assert(388 + PATH_SIZE + 8 == ENTRY_RECORD_SIZE, "the icon path is followed by the icon index and the link");

// What a loaded entry may carry over: the bits describing a run of the
// program (an open notification window, a quick finger) end with that run,
// and bits no version defines are not passed on.
constexpr uint32_t LASTING_FLAGS = FE_FINGER_AT_START | FE_AUTO_FINGER | FE_NOTIFY_CHANGES | FE_LOG_OUTPUT |
                                   FE_ADD_TIME | FE_RECYCLE_OUTPUT | FE_LONG_OUTPUT | FE_HTML_ALWAYS |
                                   FE_HTML_NEVER | FE_ALL_GROUPS;

uint32_t GetWord(const unsigned char* at)
{
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

void PutWord(unsigned char* at, uint32_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

}

EntriesFileCheck CheckEntriesHeader(const unsigned char* data, size_t size, uint64_t fileSize, uint32_t* count)
{
    *count = 0;
    // Bytes the caller did not hand over cannot be judged: they count as missing.
    const uint64_t have = size < fileSize ? size : fileSize;
    if (have < ENTRIES_MAGIC_SIZE)
        return EntriesFileCheck::Incomplete;
    if (memcmp(data, MAGIC, ENTRIES_MAGIC_SIZE) != 0)
        return EntriesFileCheck::NotOurs;
    if (have < COUNT_OFFSET)
        return EntriesFileCheck::Incomplete;
    if (GetWord(data + LENGTH_OFFSET) != ENTRY_RECORD_SIZE)
        return EntriesFileCheck::OtherVersion;
    if (have < ENTRIES_HEADER_SIZE)
        return EntriesFileCheck::Incomplete;
    const uint32_t stored = GetWord(data + COUNT_OFFSET);
    if (static_cast<int32_t>(stored) < 0)
        return EntriesFileCheck::Damaged;
    // In 64 bits: the largest count needs about 1.4 TB, past any 32-bit size.
    const uint64_t needed = ENTRIES_HEADER_SIZE + uint64_t{ENTRY_RECORD_SIZE} * stored;
    if (fileSize < needed)
        return EntriesFileCheck::Incomplete;
    if (fileSize > needed)
        return EntriesFileCheck::Damaged;
    *count = stored;
    return EntriesFileCheck::Good;
}

EntriesFileCheck CheckEntriesFile(const unsigned char* data, size_t size, uint32_t* count)
{
    uint32_t records = 0;
    const EntriesFileCheck header = CheckEntriesHeader(data, size, size, &records);
    *count = 0;
    if (header != EntriesFileCheck::Good)
        return header;
    // The header check tied the size to the count, so these offsets fit in size_t.
    for (uint32_t i = 0; i < records; ++i) {
        if (!IsWellFormedRecord(data + ENTRIES_HEADER_SIZE + size_t{ENTRY_RECORD_SIZE} * i))
            return EntriesFileCheck::Damaged;
    }
    *count = records;
    return EntriesFileCheck::Good;
}

bool IsWellFormedRecord(const unsigned char* image)
{
    for (const TextField& field : TEXT_FIELDS) {
        if (!memchr(image + field.offset, 0, field.width))
            return false;
    }
    return true;
}

uint32_t LoadedEntryFlags(uint32_t storedFlags)
{
    return storedFlags & LASTING_FLAGS;
}

void MakeEntriesHeader(unsigned char header[ENTRIES_HEADER_SIZE], uint32_t count)
{
    memcpy(header, MAGIC, ENTRIES_MAGIC_SIZE);
    PutWord(header + LENGTH_OFFSET, ENTRY_RECORD_SIZE);
    PutWord(header + COUNT_OFFSET, count);
}
