// The whois client: an RFC 954 lookup for a job's entry, following the
// answers' referrals to the server that holds the record.
#pragma once

#include "entries/finger_entry.h"
#include "jobs/answer_fetch.h"

// Task thread: shows the head job's lookup of the entry's address, unchanged,
// at the whois server of the settings as it is fetched (and logs it when the
// entry logs). Returns 0 when the answer was received (also when it was cut
// short), 1 when the lookup stopped before that.
int WhoisAddress(FingerEntry* entry);

// Fetch thread: the network part of a lookup of the plan's address. When
// Settings.followReferrals is set, an answer that names another server (see
// whois_referral) is followed by that server's answer, after a line
// "[Querying host]", up to three further servers, none asked twice; the
// answers share the one buffer. Returns 1 when the first server gave no
// answer.
int FetchWhoisAnswer(AnswerFetch& fetch);
