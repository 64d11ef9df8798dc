// The command-line switches: groups to finger at start and exit-when-idle.
#pragma once

#include "shell/switch_words.h"

// Fills StartupSwitches from the words of the command line (the text after
// the program name; may be null or empty). Returns 0 when every word is a
// switch word, 1 after telling the user about one that is not.
int ParseCommandLine(const char* commandLine);
