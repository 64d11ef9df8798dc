#include "jobs/whois_client.h"

#include <cstdio>
#include <cstring>

#include "entries/settings.h"
#include "jobs/query_client.h"
#include "jobs/whois_referral.h"
#include "output/output_window.h"

namespace {

// The query text (at most 127 characters) and CR LF.
constexpr int QUERY_SIZE = 160;
// Referrals followed after the first server's answer.
constexpr int REFERRAL_HOPS = 3;

struct AskedServer {
    char host[REFERRAL_HOST_SIZE];
    uint16_t port;
};

bool AlreadyAsked(const AskedServer* asked, int count, const WhoisReferral& referral)
{
    const uint16_t port = referral.port ? referral.port : WHOIS_PORT;
    for (int i = 0; i < count; ++i) {
        if (_stricmp(asked[i].host, referral.host) == 0 && asked[i].port == port)
            return true;
    }
    return false;
}

// Asks one server; every answer ends with a line end in the pane, as the
// first one always has.
int AskServer(AnswerFetch& fetch, const char* server, uint16_t port, const char* queryText, QueryAnswer& answer)
{
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
        .port = port,
    };
    answer = {};
    if (RunQuery(fetch, whois, &answer))
        return 1;
    if (!answer.endShown)
        RecordText(fetch, "\n");
    return 0;
}

}

int FetchWhoisAnswer(AnswerFetch& fetch)
{
    char queryText[ADDRESS_SIZE];
    snprintf(queryText, sizeof queryText, "%s", fetch.plan.address);
    AskedServer asked[REFERRAL_HOPS + 1] = {};
    snprintf(asked[0].host, sizeof asked[0].host, "%.*s", WHOIS_HOST_SIZE - 1, fetch.plan.host);
    asked[0].port = WHOIS_PORT;

    QueryAnswer answer;
    uint32_t start = fetch.received;
    if (AskServer(fetch, asked[0].host, 0, queryText, answer))
        return 1;
    // A server's answer may name the one that holds the record; that one is
    // asked in turn, never one asked already, while the buffer has room.
    for (int hop = 1; hop <= REFERRAL_HOPS && Settings.followReferrals; ++hop) {
        WhoisReferral referral;
        if (answer.truncated || answer.failed ||
            !FindWhoisReferral(fetch.buffer.get() + start, fetch.received - start, referral) ||
            !referral.followable || AlreadyAsked(asked, hop, referral))
            break;
        asked[hop] = {};
        snprintf(asked[hop].host, sizeof asked[hop].host, "%s", referral.host);
        asked[hop].port = referral.port ? referral.port : WHOIS_PORT;
        char header[REFERRAL_HOST_SIZE + 32];
        snprintf(header, sizeof header, "[Querying %s]\n", referral.host);
        RecordMessage(fetch, header);
        start = fetch.received;
        if (AskServer(fetch, referral.host, referral.port, queryText, answer))
            break;
    }
    return 0;
}

int WhoisAddress(FingerEntry* entry)
{
    AnswerFetch* fetch = ShowHeadFetch(entry);
    if (!fetch)
        return 1;
    const int result = fetch->result;
    ReleaseFetch(fetch);
    return result;
}
