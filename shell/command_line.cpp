#include "shell/command_line.h"

#include <cstdio>
#include <cstring>

#include "entries/finger_entry.h"
#include "entries/message_box.h"
#include "shell/shell_handles.h"

namespace {

struct SwitchWord {
    const char* word;
    uint32_t bit;
};

const SwitchWord SwitchTable[] = {
    {"mail", FE_GROUP_MAIL}, {"status", FE_GROUP_STATUS}, {"group1", FE_GROUP_1},
    {"group2", FE_GROUP_2},  {"group3", FE_GROUP_3},      {"exitwhenidle", SWITCH_EXIT_WHEN_IDLE},
};

constexpr size_t WORD_MAX = 255;

void ReportBadSwitch(const char* word)
{
    char message[WORD_MAX + 64];
    snprintf(message, sizeof message, "Ombrelane doesn't know what \"%s\" means.", word);
    ShowMessageBox(message, "Ombrelane Bad Switch");
}

// The bit of a switch word, compared without regard to case; 0 for any other word.
uint32_t SwitchBit(const char* word)
{
    for (const SwitchWord& entry : SwitchTable) {
        if (lstrcmpiA(word, entry.word) == 0)
            return entry.bit;
    }
    return 0;
}

}

int ParseCommandLine(const char* commandLine)
{
    StartupSwitches = 0;
    if (!commandLine)
        return 0;
    const char* next = commandLine;
    for (;;) {
        // Only blanks separate words; a tab belongs to the word.
        while (*next == ' ')
            ++next;
        if (*next == '\0')
            return 0;
        const size_t length = strcspn(next, " ");
        char word[WORD_MAX + 4];
        if (length > WORD_MAX) {
            // Longer than any switch word: shown cut, with a mark that it goes on.
            snprintf(word, sizeof word, "%.*s...", static_cast<int>(WORD_MAX), next);
            ReportBadSwitch(word);
            return 1;
        }
        snprintf(word, sizeof word, "%.*s", static_cast<int>(length), next);
        const uint32_t bit = SwitchBit(word);
        if (bit == 0) {
            ReportBadSwitch(word);
            return 1;
        }
        StartupSwitches |= bit;
        next += length;
    }
}
