// The command line's switch words and how a line splits into them. Plain C++
// with no Windows header, so the parse is fuzzed natively. The caller says
// when two words are the same: the program compares them as the system does.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t SWITCH_EXIT_WHEN_IDLE = 0x00000001;

// Longer words are shown cut to this many characters, with "..." after them.
constexpr size_t SWITCH_WORD_MAX = 255;

struct SwitchWords {
    // The bits of the switch words before the first word that is none.
    uint32_t switches;
    // Whether a word was not a switch word; word is that word as shown.
    bool unknown;
    char word[SWITCH_WORD_MAX + 4];
};

// True when the word the user wrote is the switch word.
using SameWord = bool (*)(const char* word, const char* switchWord);

// Reads the words of the command line (the text after the program name; may
// be null or empty): only blanks separate words, a tab belongs to the word.
// Stops at the first word that is not a switch word.
SwitchWords ParseSwitchWords(const char* commandLine, SameWord sameWord);
