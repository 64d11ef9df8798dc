// Holds the command line's parse to a plainer account of its words, on the input and on a line of switch words.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "shell/switch_words.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const SameWord SameLetters = [](const char* word, const char* switchWord) { return strcasecmp(word, switchWord) == 0; };

const char* const Words[] = {"mail", "status", "group1", "group2", "group3", "exitwhenidle"};
const uint32_t Bits[] = {0x08000000, 0x04000000, 0x02000000, 0x01000000, 0x00800000, 0x00000001};

// The switches of the words before the first that is none, and that word as shown: cut past 255 characters.
void RequireParse(const std::string& line)
{
    const SwitchWords parse = ParseSwitchWords(line.c_str(), SameLetters);
    uint32_t switches = 0;
    for (std::string_view rest = line.c_str(); rest.find_first_not_of(' ') != rest.npos;) {
        rest.remove_prefix(rest.find_first_not_of(' '));
        const std::string word(rest.substr(0, rest.find(' ')));
        rest.remove_prefix(word.size());
        const auto same = [&word](const char* known) { return SameLetters(word.c_str(), known); };
        const size_t known = std::find_if(std::begin(Words), std::end(Words), same) - std::begin(Words);
        if (known == std::size(Words)) {
            const std::string shown = word.size() > 255 ? word.substr(0, 255) + "..." : word;
            Require(parse.unknown && parse.switches == switches && parse.word == shown);
            return;
        }
        switches |= Bits[known];
    }
    Require(!parse.unknown && parse.switches == switches);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Require(ParseSwitchWords(nullptr, SameLetters).switches == 0);
    RequireParse(std::string(reinterpret_cast<const char*>(data), size));
    // Each of the first 64 bytes adds one switch word in its own letter case after one to four blanks.
    std::string made;
    for (size_t i = 0; i < size && i < 64; ++i) {
        made.append((data[i] >> 6) + 1, ' ');
        std::string word = Words[data[i] % 6];
        for (size_t c = 0; c < word.size(); ++c)
            word[c] = static_cast<char>((data[i] >> (c % 8)) & 1 ? toupper(word[c]) : word[c]);
        made += word;
    }
    RequireParse(made);
    return 0;
}
