// What the stored settings and profile values become: which stored values are
// taken (by their size, range and termination) and how a profile's key name
// and its entry's description answer each other. The registry code reads the
// values and this decides; plain C++ with no Windows header, so it is fuzzed
// natively. Reading never looks at a value's type, so neither does this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "entries/entry_fields.h"

constexpr int TOOLBAR_MAX = 128;
constexpr int LIST_COLUMNS = 5;

// Limits of the stored settings that loading enforces.
constexpr uint32_t MIN_ALLOC_SIZE = 16384;
constexpr uint32_t MAX_ALLOC_SIZE = 1048576;
constexpr uint32_t DEFAULT_ALLOC_SIZE = 65536;
constexpr int32_t DEFAULT_DISPLAY_SPLIT = 4;
constexpr uint32_t MIN_NETWORK_TIMEOUT = 1;
constexpr uint32_t MAX_NETWORK_TIMEOUT = 3600;
constexpr uint32_t DEFAULT_NETWORK_TIMEOUT = 60;
// How many answers may be fetched at once.
constexpr uint32_t MIN_FETCH_LIMIT = 1;
constexpr uint32_t MAX_FETCH_LIMIT = 32;
constexpr uint32_t DEFAULT_FETCH_LIMIT = 8;

// The key name of a profile whose entry has an empty description.
constexpr char EMPTY_DESCRIPTION_PROFILE[] = "(No Description)";

// A value as the registry gave it, read into a buffer of the size its field
// allows: bytes is null when the value is missing or larger than that.
struct StoredValue {
    const unsigned char* bytes;
    size_t length;
};

// Numbers, the rectangle and the font are little-endian images of these
// sizes; the font's face name is its last 32 bytes.
constexpr size_t STORED_WORD_SIZE = 4;
constexpr size_t STORED_RECT_SIZE = 16;
constexpr size_t STORED_FONT_SIZE = 60;
constexpr size_t FONT_FACE_OFFSET = 28;
// The most a toolbar layout can hold: TOOLBAR_MAX ids of one word each.
constexpr size_t STORED_TOOLBAR_SIZE = TOOLBAR_MAX * STORED_WORD_SIZE;

// A number, the rectangle (left, top, right, bottom) or the font is taken
// only when the value has exactly its size, so a short one never leaves half
// a number behind. A font is taken only with a face name, which is cut to
// its field. Each returns whether it took the value; a refused one leaves
// the field alone.
bool DecodeWord(StoredValue value, uint32_t& word);
bool DecodeRect(StoredValue value, int32_t (&rect)[4]);
bool DecodeFont(StoredValue value, unsigned char (&font)[STORED_FONT_SIZE]);

// A text is taken when it fits a field of `size` bytes together with its
// terminating NUL, whether or not the stored bytes end with one; the field
// then holds the bytes before the first NUL and a NUL.
bool DecodeText(StoredValue value, char* field, size_t size);

// The user's toolbar: given the stored button count and layout, returns the
// count of ids taken into ids. A count above TOOLBAR_MAX is capped, a
// negative one means the default layout (-1); a layout that is missing or
// holds part of an id gives the default layout rather than a row of empty
// buttons; otherwise the first ids of the layout, at most the count.
int32_t DecodeToolbar(int32_t storedCount, StoredValue layout, int32_t (&ids)[TOOLBAR_MAX]);

// The range a stored number must lie in, and what it becomes when it does not.
template <typename Word>
struct WordRange {
    Word low;
    Word high;
    Word fallback;
};

template <typename Word>
constexpr Word InRange(Word word, const WordRange<Word>& range)
{
    return word >= range.low && word <= range.high ? word : range.fallback;
}

// The list view styles: large icons 0, details 1, small icons 2, list 3.
constexpr WordRange<uint32_t> LIST_STYLE_RANGE = {0, 3, 1};
constexpr WordRange<uint32_t> ALLOC_SIZE_RANGE = {MIN_ALLOC_SIZE, MAX_ALLOC_SIZE, DEFAULT_ALLOC_SIZE};
constexpr WordRange<uint32_t> NETWORK_TIMEOUT_RANGE = {MIN_NETWORK_TIMEOUT, MAX_NETWORK_TIMEOUT,
                                                       DEFAULT_NETWORK_TIMEOUT};
constexpr WordRange<uint32_t> FETCH_LIMIT_RANGE = {MIN_FETCH_LIMIT, MAX_FETCH_LIMIT, DEFAULT_FETCH_LIMIT};
// The list view indexes its columns and shifts the sort bits by this column.
constexpr WordRange<int32_t> SORT_COLUMN_RANGE = {0, LIST_COLUMNS - 1, 0};
constexpr WordRange<int32_t> DISPLAY_SPLIT_RANGE = {0, 9, DEFAULT_DISPLAY_SPLIT};
// An entry's font size in tenths of a point, compared as signed.
constexpr WordRange<int32_t> POINTS_RANGE = {40, INT32_MAX, 120};

// The key name under which an entry of this description is stored; copy 1
// is the plain name, copy 2 and up add " (n)" within 127 characters.
void ProfileKeyName(const char* description, unsigned copy, char* name, int size);
// True when a save could have stored an entry of this description under
// this key name.
bool KeyNameBelongsTo(const char* keyName, const char* description);
// The description of the entry stored under keyName, given the profile's
// "Description" value: that value when it is a text a save could have
// written there, so that one left over from a key renamed by hand does not
// count; otherwise the key name, cut to the field.
void ProfileDescription(const char* keyName, StoredValue stored, char (&description)[DESCRIPTION_SIZE]);
