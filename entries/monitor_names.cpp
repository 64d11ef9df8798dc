#include "entries/monitor_names.h"

#include <cstdio>
#include <cstring>

void MonitorName(unsigned number, char (&name)[MONITOR_NAME_SIZE])
{
    snprintf(name, sizeof name, "%08u.htm", number);
}

// The extension is compared by hand: the system's compare, which knows every
// language, is far slower and these names are plain ASCII.
long MonitorNameNumber(const char (&name)[MONITOR_NAME_SIZE])
{
    if (strnlen(name, sizeof name) != 12 || name[8] != '.' || (name[9] | 0x20) != 'h' || (name[10] | 0x20) != 't' ||
        (name[11] | 0x20) != 'm')
        return -1;
    long number = 0;
    for (int i = 0; i < 8; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

bool IsPlainFileName(const char (&name)[MONITOR_NAME_SIZE])
{
    if (!memchr(name, '\0', sizeof name))
        return false;
    if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    return strpbrk(name, "\\/:") == nullptr;
}
