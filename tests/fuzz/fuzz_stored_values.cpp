// Holds the stored value decoders to a plainer account of each setting, and profile key names to their descriptions.
// Input: a text field's size (2 bytes), a button count (4), a number (4), the value.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "entries/stored_values.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

template <typename Word>
void RequireRange(Word word, const WordRange<Word>& range)
{
    const Word kept = InRange(word, range);
    Require(kept >= range.low && kept <= range.high && (word < range.low || word > range.high || kept == word));
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 10)
        return 0;
    uint16_t fieldSize;
    int32_t buttons;
    uint32_t number;
    memcpy(&fieldSize, data, 2), memcpy(&buttons, data + 2, 4), memcpy(&number, data + 6, 4);
    const StoredValue value = {data + 10, size - 10}, missing = {nullptr, 0};
    const auto* bytes = reinterpret_cast<const char*>(value.bytes);
    // Taken at their exact size, little-endian like every host here; a font needs a face ending inside its field.
    uint32_t word = 7;
    int32_t rect[4] = {7, 7, 7, 7};
    unsigned char font[STORED_FONT_SIZE];
    memset(font, 7, sizeof font);
    Require(DecodeWord(value, word) == (value.length == 4));
    Require(!memcmp(&word, value.length == 4 ? bytes : "\7\0\0\0", 4));
    Require(DecodeRect(value, rect) == (value.length == 16));
    Require(value.length == 16 ? !memcmp(rect, bytes, 16) : rect[0] == 7 && rect[3] == 7);
    const bool face = value.length == 60 && bytes[28] != '\0';
    Require(DecodeFont(value, font) == face);
    Require(face ? !memcmp(font, bytes, 59) && font[59] == '\0' : font[0] == 7 && font[59] == 7);
    const auto signedNumber = static_cast<int32_t>(number);
    RequireRange(number, ALLOC_SIZE_RANGE), RequireRange(number, NETWORK_TIMEOUT_RANGE);
    RequireRange(number, LIST_STYLE_RANGE), RequireRange(signedNumber, SORT_COLUMN_RANGE);
    RequireRange(signedNumber, DISPLAY_SPLIT_RANGE), RequireRange(signedNumber, POINTS_RANGE);
    // A text is what comes before the first NUL, taken when the value, and the text with a NUL, fit the field.
    const size_t width = fieldSize % PATH_SIZE + 1;
    const std::string text(bytes, strnlen(bytes, value.length));
    std::string field(width, '\7');
    const bool fits = value.length <= width && text.size() < width;
    Require(DecodeText(value, field.data(), width) == fits && !DecodeText(missing, field.data(), width));
    Require(fits ? field.c_str() == text : field == std::string(width, '\7'));
    // The toolbar takes whole ids, no more than the stored count; anything else is the default layout, -1.
    int32_t ids[TOOLBAR_MAX] = {};
    const int32_t count = std::clamp(buttons, -1, TOOLBAR_MAX), whole = static_cast<int32_t>(value.length / 4);
    const bool layout = value.length % 4 == 0 && whole <= TOOLBAR_MAX;
    const int32_t taken = count <= 0 ? count : layout ? std::min(count, whole) : -1;
    Require(DecodeToolbar(buttons, value, ids) == taken && (taken <= 0 || !memcmp(ids, bytes, 4 * taken)));
    Require(DecodeToolbar(buttons, missing, ids) == (count == 0 ? 0 : -1));
    // Every entry comes back from its key with its description, whichever copy number its key took.
    const std::string description = text.substr(0, DESCRIPTION_SIZE - 1), stored = description + '\0';
    char name[DESCRIPTION_SIZE], loaded[DESCRIPTION_SIZE];
    ProfileKeyName(description.c_str(), number % 999999999 + 1, name, sizeof name);
    Require(strlen(name) < DESCRIPTION_SIZE && !strchr(name, '\\') && KeyNameBelongsTo(name, description.c_str()));
    ProfileDescription(name, {reinterpret_cast<const unsigned char*>(stored.data()), stored.size()}, loaded);
    Require(loaded == description);
    // Any key name (here the text after the value's first NUL) gives the value's text or itself, cut to the field.
    const size_t after = std::min(text.size() + 1, value.length);
    const std::string keyName = std::string(bytes + after, value.length - after).c_str();
    ProfileDescription(keyName.c_str(), value, loaded);
    const bool described = value.length <= DESCRIPTION_SIZE && text.size() < DESCRIPTION_SIZE;
    Require(loaded == keyName.substr(0, DESCRIPTION_SIZE - 1) || (described && loaded == text));
    return 0;
}
