// Global options of the program, loaded from and saved to the registry.
#pragma once

#include <windows.h>
#include <cstdint>

#include "entries/finger_entry.h"
#include "entries/stored_values.h"

enum : uint32_t {
    OPT_START_WITH_WINDOWS  = 0x00000001,
    OPT_HIDE_WHEN_MINIMISED = 0x00000002,
    OPT_WELCOME_SHOWN       = 0x00000004,
    OPT_REMEMBER_POSITION   = 0x00000008,
    OPT_LOGGING             = 0x00000010,
    OPT_START_MINIMISED     = 0x00000020,
    OPT_CLEAR_LOG_AT_START  = 0x00000040,
    OPT_AUTO_HTML           = 0x00000080,
    OPT_NETWORK             = 0x00008000,
    OPT_USER_BROWSER        = 0x00010000,
};
constexpr uint32_t OptSortToggle(int column) { return 0x80000000u >> column; }

constexpr int GROUP_NAME_SIZE = 40;
constexpr int WHOIS_HOST_SIZE = 128;

// The whois host asked by quick whois when the user has chosen none. IANA's
// server is public, stable and answers for every top-level domain, referring
// the asker to the registry that holds the name.
constexpr char DEFAULT_WHOIS_SERVER[] = "whois.iana.org";

struct ProgramSettings {
    uint32_t options;
    uint32_t maxAllocSize;
    uint32_t maxAllocSizeSaved;
    RECT windowRect;
    int32_t toolbarCount;
    int32_t SavedToolbarLayout[TOOLBAR_MAX];
    int32_t DisplaySplit;
    char logFile[PATH_SIZE];
    char entriesPath[PATH_SIZE];
    char whoisServer[WHOIS_HOST_SIZE];
    char userBrowser[PATH_SIZE];
    char outputPath[PATH_SIZE];
    char groupNames[GROUP_COUNT][GROUP_NAME_SIZE];
    int32_t sortColumn;
    uint32_t listStyle;
    int32_t columnWidths[LIST_COLUMNS];
    char startupFolder[PATH_SIZE];
    int saveAtExit;
    // Seconds a connect or a receive may wait before the job gives up.
    uint32_t networkTimeout;
    // Answers fetched at once (1 fetches one job at a time).
    uint32_t fetchLimit;
    // Whois answers that name another server are followed there.
    bool followReferrals;
};

extern ProgramSettings Settings;

// Puts every field at its built-in default (the state before the registry is read).
void SetDefaultSettings();
