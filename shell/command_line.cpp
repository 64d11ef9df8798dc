#include "shell/command_line.h"

#include <windows.h>
#include <cstdio>

#include "entries/message_box.h"
#include "shell/shell_handles.h"

namespace {

void ReportBadSwitch(const char* word)
{
    char message[SWITCH_WORD_MAX + 64];
    snprintf(message, sizeof message, "Ombrelane doesn't know what \"%s\" means.", word);
    ShowMessageBox(message, "Ombrelane Bad Switch");
}

// Switch words are compared without regard to case, as the system compares words.
bool SameWordAsSystem(const char* word, const char* switchWord)
{
    return lstrcmpiA(word, switchWord) == 0;
}

}

int ParseCommandLine(const char* commandLine)
{
    const SwitchWords parse = ParseSwitchWords(commandLine, SameWordAsSystem);
    StartupSwitches = parse.switches;
    if (!parse.unknown)
        return 0;
    ReportBadSwitch(parse.word);
    return 1;
}
