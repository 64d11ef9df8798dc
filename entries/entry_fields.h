// The widths, flag bits and units of a finger entry's fields, as the stored
// formats hold them. Plain C++: the saved entries file reader uses it without
// any Windows header.
#pragma once

#include <cstdint>

enum : uint32_t {
    FE_FINGER_AT_START = 0x00000001,
    FE_AUTO_FINGER     = 0x00000002,
    FE_NOTIFY_CHANGES  = 0x00000008,
    FE_LOG_OUTPUT      = 0x00000010,
    FE_ADD_TIME        = 0x00000080,
    FE_RECYCLE_OUTPUT  = 0x00000100,
    FE_TEMPORARY       = 0x00000200,
    FE_LONG_OUTPUT     = 0x00000400,
    FE_HTML_ALWAYS     = 0x00000800,
    FE_HTML_NEVER      = 0x00001000,
    FE_GROUP_3         = 0x00800000,
    FE_GROUP_2         = 0x01000000,
    FE_GROUP_1         = 0x02000000,
    FE_GROUP_STATUS    = 0x04000000,
    FE_GROUP_MAIL      = 0x08000000,
    FE_NOTIFY_OPEN     = 0x10000000,
    FE_ALL_GROUPS      = 0x0F800000,
};

// Group index 0..4: Mail, Status, #1, #2, #3.
constexpr int GROUP_COUNT = 5;
constexpr uint32_t GroupMask(int group) { return 0x08000000u >> group; }

enum PeriodUnit : uint32_t { PERIOD_MINUTES = 0, PERIOD_HOURS = 1, PERIOD_DAYS = 2, PERIOD_WEEKS = 3 };

constexpr int DESCRIPTION_SIZE = 128;
constexpr int ADDRESS_SIZE = 128;
constexpr int MONITOR_NAME_SIZE = 16;
constexpr int PATH_SIZE = 260;

// The size of an entry's record image in a saved entries file.
constexpr int ENTRY_RECORD_SIZE = 656;
