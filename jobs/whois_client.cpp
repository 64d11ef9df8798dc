#include "jobs/whois_client.h"

#include <cstdio>

#include "entries/settings.h"
#include "jobs/query_client.h"
#include "output/output_window.h"

namespace {

// The query text (at most 127 characters) and CR LF.
constexpr int QUERY_SIZE = 160;

}

int FetchWhoisAnswer(AnswerFetch& fetch)
{
    char server[WHOIS_HOST_SIZE];
    snprintf(server, sizeof server, "%.*s", WHOIS_HOST_SIZE - 1, fetch.plan.host);
    char queryText[ADDRESS_SIZE];
    snprintf(queryText, sizeof queryText, "%s", fetch.plan.address);
    char query[QUERY_SIZE];
    const int length = snprintf(query, sizeof query, "%s\r\n", queryText);

    const QueryDescription whois = {
        .service = "whois",
        .host = server,
        .target = queryText,
        .query = query,
        .queryLength = length,
        .statusPart = 0,
        .namedErrors = false,
        .progressive = true,
        .logPieces = true,
        .cancelLine = "** WHOIS cancelled **\n\n",
        .truncatedFormat = "** Warning: Finger output truncated (> %u bytes) **\n"
                           "** Change the memory allocation in Options->Advanced **\n\n",
    };
    QueryAnswer answer = {};
    const int result = RunQuery(fetch, whois, &answer);
    fetch.failed = answer.failed;
    fetch.endShown = answer.endShown;
    return result;
}

int WhoisAddress(FingerEntry* entry)
{
    AnswerFetch* fetch = ShowHeadFetch(entry);
    if (!fetch)
        return 1;
    const int result = fetch->result;
    if (result == 0 && !fetch->endShown)
        AppendEntryText(entry, "\n");
    ReleaseFetch(fetch);
    return result;
}
