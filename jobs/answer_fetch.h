// Answers fetched side by side. The network part of a queued job (host
// lookup, connect, send, receive) runs on one of a pool of fetch threads,
// into a buffer of its own, while the task thread shows one job at a time in queue
// order. What a fetch would show, log or put in the status bar is kept as a
// list of events, and the task thread carries them out when the job's turn
// comes (for the job being shown, within a tenth of a second), so a run looks
// and stores the same whatever the number of fetches.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "entries/finger_entry.h"

constexpr int FETCH_HOST_SIZE = 256;

struct HeapFreer {
    void operator()(char* block) const { HeapFree(GetProcessHeap(), 0, block); }
};
using HeapBuffer = std::unique_ptr<char[], HeapFreer>;

// A status bar text; a line for the pane and the log (when the entry logs);
// a text for the pane only; received bytes.
enum FetchEventKind : uint8_t { FETCH_STATUS, FETCH_MESSAGE, FETCH_TEXT, FETCH_PIECE };

struct FetchEvent {
    FetchEventKind kind = FETCH_STATUS;
    // FETCH_STATUS: the status bar part.
    int part = 0;
    // FETCH_STATUS, FETCH_MESSAGE and FETCH_TEXT.
    std::string text{};
    // FETCH_PIECE: received bytes at offset in the fetch's buffer.
    uint32_t offset = 0;
    uint32_t length = 0;
    // The pane shows the piece as it arrives; the log takes it as it arrives
    // (when the entry logs).
    bool show = false;
    bool log = false;
    // The server closed right after the piece: the pane shows it together
    // with a line end.
    bool withLineEnd = false;
};

// What a fetch asks, taken from the job and its entry when it starts: the
// fetch thread never looks at the entry, which may change or go meanwhile.
struct FetchPlan {
    uint32_t jobType;
    uint32_t entryFlags;
    char address[ADDRESS_SIZE];
    // The server asked first; the connection limits count fetches by it.
    char host[FETCH_HOST_SIZE];
    // The answer is shown as it arrives, rather than collected whole for the
    // HTML test.
    bool progressive;
};

struct AnswerFetch {
    FetchPlan plan;
    // The answer buffer: limit bytes and a few spare ones after them.
    HeapBuffer buffer;
    uint32_t limit;
    // Bytes received into the buffer so far, by all the queries of the fetch.
    uint32_t received;

    std::mutex lock;
    // Under lock: the events so far, and whether the fetch thread is done.
    std::vector<FetchEvent> events;
    bool finished;
    // Valid once finished: 0 when an answer was received, 1 when the query
    // stopped before that.
    int result;
    // Valid once finished: the last query's end (see QueryAnswer).
    bool failed;
    bool endShown;

    // Set when the job leaves the queue before it is shown: the fetch stops
    // at its next check and is dropped.
    std::atomic<bool> abandoned;
    // Task thread only: how many events have been carried out.
    size_t shown;
};

// Fetch thread: records what the task thread is to carry out for the job.
void RecordStatus(AnswerFetch& fetch, int part, const char* text);
void RecordMessage(AnswerFetch& fetch, const char* text);
void RecordText(AnswerFetch& fetch, const char* text);
void RecordPiece(AnswerFetch& fetch, const FetchEvent& piece);

// Task thread: drops the fetches of jobs that left the queue once they have
// ended, then starts fetches for the queued network jobs in queue order, as
// far as the limits allow: Settings.fetchLimit at once, two at once to one
// host, and only so far ahead of the job being shown.
void StartDueFetches();
// Task thread: the head job's fetch once it has one (waiting while the
// limits hold it back), with every event carried out for entry as it comes
// until the fetch has finished; null when a kill or shutdown came first, or
// when the fetch could not start (a line then says so).
AnswerFetch* ShowHeadFetch(FingerEntry* entry);
// Task thread: the shown job's fetch is no longer needed.
void ReleaseFetch(AnswerFetch* fetch);
// Any thread, holding the job list: the fetch's job has left the queue.
void AbandonFetch(AnswerFetch* fetch);
// Task thread, as it ends: stops every fetch and ends the fetch threads.
void EndAllFetches();
