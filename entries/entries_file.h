// The saved entries file: a 25-byte header ("Ombrelane Entries", the record
// length 656 and the record count, little-endian) and the 656-byte record
// images. Plain C++ with no Windows header, so that it can be fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>

#include "entries/entry_fields.h"

constexpr size_t ENTRIES_MAGIC_SIZE = 17;
constexpr size_t ENTRIES_HEADER_SIZE = 25;

enum class EntriesFileCheck {
    Good,
    NotOurs,       // the magic is wrong
    OtherVersion,  // the record length is not 656
    Incomplete,    // shorter than its header or than its count says
    Damaged,       // negative count, bytes after the last record, or a record that is not well formed
};

// Checks the header against the size of the whole file, before any record is
// read: data holds the file's first size bytes, of which the header's 25 are
// enough. On Good, *count is the number of records, else 0.
EntriesFileCheck CheckEntriesHeader(const unsigned char* data, size_t size, uint64_t fileSize, uint32_t* count);

// Checks a whole file image: the header, the size, and every record (each
// text field, the font's face name included, terminated inside its width).
// On Good, *count is the number of records, else 0.
EntriesFileCheck CheckEntriesFile(const unsigned char* data, size_t size, uint32_t* count);

// True when every text field of the record image is terminated inside its width.
bool IsWellFormedRecord(const unsigned char* image);

// The flag bits a loaded record keeps: the known, lasting ones.
uint32_t LoadedEntryFlags(uint32_t storedFlags);

// Writes the header for count records.
void MakeEntriesHeader(unsigned char header[ENTRIES_HEADER_SIZE], uint32_t count);
