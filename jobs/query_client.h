// One query of a line-based TCP service (finger, whois) for a fetch: locate
// the host and the service, connect, send the query and receive the answer
// into the fetch's buffer, after what earlier queries of the fetch received.
// Failures and a kill or shutdown end it with a message line. Everything to
// be shown or logged is recorded in the fetch, for the task thread.
#pragma once

#include <cstdint>
#include "entries/finger_entry.h"
#include "jobs/answer_fetch.h"

// What one client sends where, and how it words and shows what happens.
struct QueryDescription {
    // The TCP service looked up by name ("finger", "whois").
    const char* service;
    const char* host;
    // Named by the line of a failed connect: the user part or the query text.
    const char* target;
    // The bytes sent, line end included.
    const char* query;
    int queryLength;
    // The status bar part of "Locating" and "Found host"; the received byte
    // count always goes to part 1.
    int statusPart;
    // Winsock codes written as (10061 - "WSAECONNREFUSED") when set, as
    // (10061) when not.
    bool namedErrors;
    // Every piece is shown in the output pane as it arrives; otherwise the
    // caller shows the whole answer.
    bool progressive;
    // Every piece is appended to the log as it arrives, when the entry logs.
    bool logPieces;
    // Written when a kill or shutdown stops the query after the lookup.
    const char* cancelLine;
    // printf format of the warning for an answer longer than the buffer; its
    // one argument is the buffer's size (%u).
    const char* truncatedFormat;
    // The port asked; 0 asks the service's own.
    uint16_t port = 0;
};

struct QueryAnswer {
    // Bytes received by this query; a NUL follows them in the buffer.
    uint32_t total;
    // The answer reached the end of the buffer and was cut there.
    bool truncated;
    // A receive error or the time limit ended the answer.
    bool failed;
    // The server closed right after the last piece, so that piece was shown
    // together with the line end that follows every progressive answer.
    bool endShown;
};

// Fetch thread. Returns 0 when an answer was received (complete, cut at the
// buffer, or ended by a receive error or the time limit, with a line saying
// so after it), 1 when the query stopped before that. The socket is closed
// on return.
int RunQuery(AnswerFetch& fetch, const QueryDescription& query, QueryAnswer* answer);

// Task thread: a message line of a job: into the output pane in the entry's
// format (held with the rest of the job's pane text), and into the log when
// the entry logs its output.
void EmitJobMessage(const FingerEntry* entry, const char* text);
