#include "shell/switch_words.h"

#include <cstdio>
#include <cstring>

#include "entries/entry_fields.h"

namespace {

struct SwitchWord {
    const char* word;
    uint32_t bit;
};

const SwitchWord SwitchTable[] = {
    {"mail", FE_GROUP_MAIL}, {"status", FE_GROUP_STATUS}, {"group1", FE_GROUP_1},
    {"group2", FE_GROUP_2},  {"group3", FE_GROUP_3},      {"exitwhenidle", SWITCH_EXIT_WHEN_IDLE},
};

// The bit of a switch word; 0 for any other word.
uint32_t SwitchBit(const char* word, SameWord sameWord)
{
    for (const SwitchWord& entry : SwitchTable) {
        if (sameWord(word, entry.word))
            return entry.bit;
    }
    return 0;
}

}

SwitchWords ParseSwitchWords(const char* commandLine, SameWord sameWord)
{
    SwitchWords parse = {};
    if (!commandLine)
        return parse;
    const char* next = commandLine;
    for (;;) {
        while (*next == ' ')
            ++next;
        if (*next == '\0')
            return parse;
        const size_t length = strcspn(next, " ");
        if (length > SWITCH_WORD_MAX) {
            // Longer than any switch word: shown cut, with a mark that it goes on.
            snprintf(parse.word, sizeof parse.word, "%.*s...", static_cast<int>(SWITCH_WORD_MAX), next);
            parse.unknown = true;
            return parse;
        }
        snprintf(parse.word, sizeof parse.word, "%.*s", static_cast<int>(length), next);
        const uint32_t bit = SwitchBit(parse.word, sameWord);
        if (bit == 0) {
            parse.unknown = true;
            return parse;
        }
        parse.switches |= bit;
        next += length;
    }
}
