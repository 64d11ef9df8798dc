#include "jobs/finger_client.h"

#include <winsock.h>
#include <cstdio>
#include <cstring>

#include "entries/settings.h"
#include "jobs/query_client.h"
#include "output/answer_buffers.h"
#include "output/html_output.h"
#include "output/monitor_files.h"
#include "output/output_window.h"

namespace {

constexpr int HOST_SIZE = 128;

}

int BuildFingerQuery(char* query, int size, const char* user, bool longOutput)
{
    const char* prefix = "";
    if (longOutput)
        prefix = user[0] ? "/W " : "/W";
    const int length = snprintf(query, static_cast<size_t>(size), "%s%s\r\n", prefix, user);
    if (length < 0) {
        query[0] = '\0';
        return 0;
    }
    return length < size ? length : size - 1;
}

int FingerAddress(FingerEntry* entry)
{
    // Everything before the last at sign is the user part, everything after
    // it the host; without an at sign the user is on this machine.
    char user[ADDRESS_SIZE];
    char host[HOST_SIZE];
    snprintf(user, sizeof user, "%.*s", ADDRESS_SIZE - 1, entry->address);
    host[0] = '\0';
    if (char* at = strrchr(user, '@')) {
        *at = '\0';
        snprintf(host, sizeof host, "%s", at + 1);
    } else {
        if (gethostname(host, sizeof host) != 0) {
            EmitJobMessage(entry, "Couldn't get local host name.\n\n");
            return 1;
        }
        host[sizeof host - 1] = '\0';
    }
    char query[FINGER_QUERY_SIZE];
    const int length = BuildFingerQuery(query, sizeof query, user, (entry->flags & FE_LONG_OUTPUT) != 0);

    // An answer is shown as it arrives unless it may have to go to the
    // browser, which needs all of it first. It is logged with the monitor
    // file, after any line about how it ended.
    const bool progressive = !(Settings.options & OPT_AUTO_HTML) || (entry->flags & FE_HTML_NEVER);
    const QueryDescription finger = {
        .service = "finger",
        .host = host,
        .target = user,
        .query = query,
        .queryLength = length,
        .statusPart = 1,
        .namedErrors = true,
        .progressive = progressive,
        .logPieces = false,
        .cancelLine = "** Finger cancelled **\n\n",
        .truncatedFormat = "** Warning: Finger output truncated (more than %u bytes) **\n"
                           "** Increase the memory allocation in Options->Advanced **\n\n",
    };
    QueryAnswer answer = {};
    if (RunQuery(entry, finger, &answer))
        return 1;

    // A server that failed or fell silent before saying anything has given
    // no answer; the previous one stays recorded.
    if (answer.failed && answer.total == 0)
        return 0;
    if (progressive) {
        if (!answer.endShown)
            AppendEntryText(entry, "\n");
        UpdateMonitorFile(entry, AnswerBuffer, answer.total);
    } else if (IsHtmlOutput(entry, AnswerBuffer)) {
        UpdateMonitorFile(entry, AnswerBuffer, answer.total);
        ViewHtmlOutput(entry);
    } else {
        UpdateMonitorFile(entry, AnswerBuffer, answer.total);
        StreamBufferToOutput(entry, AnswerBuffer, answer.total);
    }
    return 0;
}
