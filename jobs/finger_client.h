// The finger client: one RFC 1288 query for a job's entry.
#pragma once

#include "entries/finger_entry.h"
#include "jobs/answer_fetch.h"

// Task thread: shows the head job's finger of the entry's address as it is
// fetched, then shows (or opens) and records the answer. Returns 0 when the
// answer was delivered (also when it was cut short by the buffer limit, a
// receive error or the time limit), 1 when the finger stopped before that (a
// failure, or a kill or shutdown).
int FingerAddress(FingerEntry* entry);

// Fetch thread: the network part of a finger of the plan's address.
int FetchFingerAnswer(AnswerFetch& fetch);

// The host part of a finger address, within it: everything after its last at
// sign, or empty for a user on this machine.
const char* FingerHostOf(const char* address);

// The query line for a user part: "/W" in front for long output (followed
// by a blank when the user part is not empty), CR LF behind. Returns its
// length; size must leave room for the longest user part (FINGER_QUERY_SIZE).
constexpr int FINGER_QUERY_SIZE = 160;
int BuildFingerQuery(char* query, int size, const char* user, bool longOutput);
