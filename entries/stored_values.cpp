#include "entries/stored_values.h"

#include <cstdio>
#include <cstring>

// A number that falls outside its range must become one that lies in it.
static_assert(InRange(LIST_STYLE_RANGE.fallback, LIST_STYLE_RANGE) == LIST_STYLE_RANGE.fallback &&
                  InRange(ALLOC_SIZE_RANGE.fallback, ALLOC_SIZE_RANGE) == ALLOC_SIZE_RANGE.fallback &&
                  InRange(NETWORK_TIMEOUT_RANGE.fallback, NETWORK_TIMEOUT_RANGE) == NETWORK_TIMEOUT_RANGE.fallback &&
                  InRange(SORT_COLUMN_RANGE.fallback, SORT_COLUMN_RANGE) == SORT_COLUMN_RANGE.fallback &&
                  InRange(DISPLAY_SPLIT_RANGE.fallback, DISPLAY_SPLIT_RANGE) == DISPLAY_SPLIT_RANGE.fallback &&
                  InRange(POINTS_RANGE.fallback, POINTS_RANGE) == POINTS_RANGE.fallback,
              "fallbacks lie in their ranges");

namespace {

uint32_t LittleEndianWord(const unsigned char* at)
{
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

bool HasSize(StoredValue value, size_t size)
{
    return value.bytes && value.length == size;
}

}

bool DecodeWord(StoredValue value, uint32_t& word)
{
    if (!HasSize(value, STORED_WORD_SIZE))
        return false;
    word = LittleEndianWord(value.bytes);
    return true;
}

bool DecodeRect(StoredValue value, int32_t (&rect)[4])
{
    if (!HasSize(value, STORED_RECT_SIZE))
        return false;
    for (size_t side = 0; side < 4; ++side)
        rect[side] = static_cast<int32_t>(LittleEndianWord(value.bytes + STORED_WORD_SIZE * side));
    return true;
}

bool DecodeFont(StoredValue value, unsigned char (&font)[STORED_FONT_SIZE])
{
    if (!HasSize(value, STORED_FONT_SIZE) || value.bytes[FONT_FACE_OFFSET] == '\0')
        return false;
    memcpy(font, value.bytes, STORED_FONT_SIZE);
    font[STORED_FONT_SIZE - 1] = '\0';
    return true;
}

bool DecodeText(StoredValue value, char* field, size_t size)
{
    if (!value.bytes || value.length > size)
        return false;
    const void* end = memchr(value.bytes, '\0', value.length);
    const size_t used = end ? static_cast<size_t>(static_cast<const unsigned char*>(end) - value.bytes) : value.length;
    if (used >= size)
        return false;
    memcpy(field, value.bytes, used);
    field[used] = '\0';
    return true;
}

int32_t DecodeToolbar(int32_t storedCount, StoredValue layout, int32_t (&ids)[TOOLBAR_MAX])
{
    // A save stores up to TOOLBAR_MAX ids, so a full layout loads whole. Any
    // negative count means no layout of the user's own, as -1 does.
    if (storedCount < 0)
        return -1;
    const int32_t count = storedCount < TOOLBAR_MAX ? storedCount : TOOLBAR_MAX;
    if (count == 0)
        return 0;
    if (!layout.bytes || layout.length > STORED_TOOLBAR_SIZE || layout.length % STORED_WORD_SIZE != 0)
        return -1;
    const int32_t stored = static_cast<int32_t>(layout.length / STORED_WORD_SIZE);
    const int32_t taken = stored < count ? stored : count;
    for (int32_t i = 0; i < taken; ++i)
        ids[i] = static_cast<int32_t>(LittleEndianWord(layout.bytes + STORED_WORD_SIZE * static_cast<size_t>(i)));
    return taken;
}

void ProfileKeyName(const char* description, unsigned copy, char* name, int size)
{
    if (!name || size <= 0)
        return;
    char base[DESCRIPTION_SIZE];
    snprintf(base, sizeof base, "%.*s", DESCRIPTION_SIZE - 1, description[0] ? description : EMPTY_DESCRIPTION_PROFILE);
    // A backslash would nest keys.
    for (char* c = base; *c; ++c)
        if (*c == '\\')
            *c = '/';
    if (copy <= 1) {
        snprintf(name, static_cast<size_t>(size), "%s", base);
        return;
    }
    char suffix[16];
    int suffixLength = snprintf(suffix, sizeof suffix, " (%u)", copy);
    int keep = DESCRIPTION_SIZE - 1 - suffixLength;
    snprintf(name, static_cast<size_t>(size), "%.*s%s", keep, base, suffix);
}

bool KeyNameBelongsTo(const char* keyName, const char* description)
{
    char name[DESCRIPTION_SIZE];
    ProfileKeyName(description, 1, name, sizeof name);
    if (strcmp(keyName, name) == 0)
        return true;
    const char* open = strrchr(keyName, '(');
    if (!open || open == keyName || open[-1] != ' ')
        return false;
    unsigned copy = 0;
    const char* digit = open + 1;
    for (; *digit >= '0' && *digit <= '9' && digit - open <= 9; ++digit)
        copy = copy * 10 + static_cast<unsigned>(*digit - '0');
    if (digit == open + 1 || strcmp(digit, ")") != 0 || copy < 2)
        return false;
    ProfileKeyName(description, copy, name, sizeof name);
    return strcmp(keyName, name) == 0;
}

void ProfileDescription(const char* keyName, StoredValue stored, char (&description)[DESCRIPTION_SIZE])
{
    char text[DESCRIPTION_SIZE];
    if (DecodeText(stored, text, sizeof text) && KeyNameBelongsTo(keyName, text))
        snprintf(description, sizeof description, "%s", text);
    else
        snprintf(description, sizeof description, "%.*s", DESCRIPTION_SIZE - 1, keyName);
}
