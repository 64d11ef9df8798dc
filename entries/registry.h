// Settings and finger entries in the registry of the current user. The
// options are values of the program key; each entry is one profile, a subkey
// of the program key's "Profiles" key named after the entry's description.
#pragma once

#include <windows.h>
#include <vector>

#include "entries/stored_values.h"

// All below HKEY_CURRENT_USER.
constexpr char PROGRAM_KEY_PATH[] = "Software\\Corvale Software\\Ombrelane";
constexpr char PROFILES_KEY_PATH[] = "Software\\Corvale Software\\Ombrelane\\Profiles";
constexpr char SHELL_FOLDERS_KEY_PATH[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell folders";

// The profile value that holds an entry's exact description. It is written
// only for a profile whose key name cannot be the description itself: a
// second entry of the same description in another letter case (key names
// ignore case), a description with a backslash (which would nest keys) or
// an empty one (which would name the profiles key itself).
constexpr char PROFILE_DESCRIPTION_VALUE[] = "Description";

// A registry failure for the caller to show: the system error code and the
// title of its box.
struct RegistryError {
    LONG code;
    const char* title;
};
using RegistryErrors = std::vector<RegistryError>;

// Reads the settings and the stored entries, once at start-up, after the
// default entry font is fetched and before any other thread exists. Missing
// keys and values leave the defaults; failures are added to errors. Returns 1
// only when an entry could not be allocated (nothing will be saved at exit
// then), otherwise 0.
int LoadSettings(RegistryErrors& errors);

// Writes the settings and every entry of the list at shutdown, replacing all
// stored profiles; does nothing unless Settings.saveAtExit is 1. A profile
// that already holds exactly what would be written, untouched since the
// load read it, is left as it is.
void SaveSettings(RegistryErrors& errors);
