#include "jobs/finger_client.h"

#include <winsock.h>
#include <cstdio>
#include <cstring>

#include "entries/settings.h"
#include "jobs/query_client.h"
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

const char* FingerHostOf(const char* address)
{
    const char* at = strrchr(address, '@');
    return at ? at + 1 : address + strlen(address);
}

int FetchFingerAnswer(AnswerFetch& fetch)
{
    // Everything before the last at sign is the user part, everything after
    // it the host; without an at sign the user is on this machine.
    char user[ADDRESS_SIZE];
    char host[HOST_SIZE];
    snprintf(user, sizeof user, "%s", fetch.plan.address);
    if (char* at = strrchr(user, '@')) {
        *at = '\0';
        snprintf(host, sizeof host, "%s", at + 1);
    } else {
        if (gethostname(host, sizeof host) != 0) {
            RecordMessage(fetch, "Couldn't get local host name.\n\n");
            return 1;
        }
        host[sizeof host - 1] = '\0';
    }
    char query[FINGER_QUERY_SIZE];
    const int length = BuildFingerQuery(query, sizeof query, user, (fetch.plan.entryFlags & FE_LONG_OUTPUT) != 0);

    // An answer is shown as it arrives unless it may have to go to the
    // browser, which needs all of it first. It is logged with the monitor
    // file, after any line about how it ended.
    const QueryDescription finger = {
        .service = "finger",
        .host = host,
        .target = user,
        .query = query,
        .queryLength = length,
        .statusPart = 1,
        .namedErrors = true,
        .progressive = fetch.plan.progressive,
        .logPieces = false,
        .cancelLine = "** Finger cancelled **\n\n",
        .truncatedFormat = "** Warning: Finger output truncated (more than %u bytes) **\n"
                           "** Increase the memory allocation in Options->Advanced **\n\n",
    };
    QueryAnswer answer = {};
    const int result = RunQuery(fetch, finger, &answer);
    fetch.failed = answer.failed;
    fetch.endShown = answer.endShown;
    return result;
}

int FingerAddress(FingerEntry* entry)
{
    AnswerFetch* fetch = ShowHeadFetch(entry);
    if (!fetch)
        return 1;
    const int result = fetch->result;
    const char* answer = fetch->buffer.get();
    const uint32_t total = fetch->received;
    // A server that failed or fell silent before saying anything has given
    // no answer; the previous one stays recorded.
    if (result == 0 && !(fetch->failed && total == 0)) {
        if (fetch->plan.progressive) {
            if (!fetch->endShown)
                HoldEntryText(entry, "\n", 1);
            UpdateMonitorFile(entry, answer, total);
        } else if (IsHtmlOutput(entry, answer)) {
            UpdateMonitorFile(entry, answer, total);
            ViewHtmlOutput(entry);
        } else {
            UpdateMonitorFile(entry, answer, total);
            HoldEntryText(entry, answer, total);
        }
    }
    ReleaseFetch(fetch);
    return result;
}
