// The command-line switches: groups to finger at start and exit-when-idle.
#pragma once

#include <windows.h>
#include <cstdint>

constexpr uint32_t SWITCH_EXIT_WHEN_IDLE = 0x00000001;

// Fills StartupSwitches from the words of the command line (the text after
// the program name; may be null or empty). Returns 0 when every word is a
// switch word, 1 after telling the user about one that is not.
int ParseCommandLine(const char* commandLine);
