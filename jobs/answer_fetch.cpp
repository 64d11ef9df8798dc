#include "jobs/answer_fetch.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "entries/settings.h"
#include "entries/shared_lock.h"
#include "jobs/finger_client.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"
#include "jobs/query_client.h"
#include "jobs/whois_client.h"
#include "output/log_file.h"
#include "output/output_window.h"

namespace {

// Spare bytes after an answer buffer: the NUL after the bytes, and the one
// byte that tells an answer cut at the limit from one that fits exactly.
constexpr uint32_t BUFFER_SLACK = 16;
// Connections at once to one host, so that fingering many users of one host
// never floods it.
constexpr int HOST_FETCH_LIMIT = 2;
// Fetches are planned up to this many times the limits, so that a fetch
// thread whose fetch ends finds the next one waiting.
constexpr int PLANNED_AHEAD = 2;
// How far ahead of the job being shown fetches may start, and how much their
// finished answers may hold while they wait for their turn.
constexpr int LOOKAHEAD_JOBS = 512;
constexpr size_t WAITING_ANSWER_BYTES = 64u << 20;
// The longest the task thread sleeps before it looks at the fetches again.
constexpr DWORD ACTIVITY_POLL_MS = 100;
// Held pane text is written once the task thread has waited this long for
// the job being shown: most fetches end sooner, and a write to the pane
// costs more than the wait.
constexpr DWORD HELD_TEXT_WAIT_MS = 25;
// How long the task thread waits for the fetches as it ends; each one sees
// the cancel condition within a tenth of a second.
constexpr DWORD END_WAIT_MS = 5000;

struct FetchTable {
    // Task thread only: every fetch not yet dropped.
    std::vector<std::unique_ptr<AnswerFetch>> fetches;
};

FetchTable table;

// Answer buffers of the size last asked for, kept for the next fetches: a
// large buffer costs the system a new mapping each time one is made and
// freed, which for small answers costs more than the rest of a fetch. Task
// thread only.
struct BufferPool {
    std::vector<HeapBuffer> spare;
    uint32_t limit;
};

BufferPool pool;

HeapBuffer TakeBuffer(uint32_t limit)
{
    if (pool.limit == limit && !pool.spare.empty()) {
        HeapBuffer buffer = std::move(pool.spare.back());
        pool.spare.pop_back();
        return buffer;
    }
    return HeapBuffer(static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, limit + BUFFER_SLACK)));
}

// Keeps no more buffers than fetches may be planned at once.
void GiveBackBuffer(HeapBuffer buffer, uint32_t limit)
{
    if (!buffer)
        return;
    if (pool.limit != limit) {
        if (limit != Settings.maxAllocSize)
            return;
        pool.spare.clear();
        pool.limit = limit;
    }
    if (pool.spare.size() < PLANNED_AHEAD * size_t{MAX_FETCH_LIMIT})
        pool.spare.push_back(std::move(buffer));
}

// The fetch threads, which keep the limits. The task thread plans fetches a
// little ahead of them; each thread takes the first planned fetch that may
// run now, and another as soon as its own ends, so a slot never waits for the
// task thread to come round. Threads are made as fetches are planned while
// none waits for work (never more than the most fetches allowed at once), and
// kept until the task thread ends.
struct FetchWorkers {
    // Planned and not started yet, in queue order.
    std::vector<AnswerFetch*> waiting;
    // The hosts of the running fetches.
    std::vector<std::string> runningHosts;
    std::vector<HANDLE> threads;
    // Threads waiting for work.
    size_t idle;
    // The most fetches at once, as the task thread last read it.
    uint32_t limit;
    bool ending;
};

FetchWorkers workers;
// The head job's fetch could not start for want of memory or a thread.
bool headRefused;

// Set whenever a fetch ends or is abandoned, so the waiting task thread looks
// at once. The events of the fetch being shown need no wake-up of their own:
// the task thread looks at them at least every ACTIVITY_POLL_MS, as often as
// the pane repaints, and a wake-up for each would cost a fast fetch more than
// the rest of its showing. Made at first use and kept for the life of the
// process.
HANDLE ActivityEvent()
{
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

void SignalActivity()
{
    if (HANDLE event = ActivityEvent())
        SetEvent(event);
}

void WaitForActivity(DWORD timeoutMs = ACTIVITY_POLL_MS)
{
    HANDLE event = ActivityEvent();
    if (!event || WaitForSingleObject(event, timeoutMs) == WAIT_FAILED)
        Sleep(timeoutMs);
}

// Task thread: since when it has waited for the job being shown with pane
// text held, counted over the events that come meanwhile.
struct HeldTextClock {
    bool running = false;
    DWORD since = 0;
};

void WaitForHeadFetch(HeldTextClock& clock)
{
    const DWORD now = GetTickCount();
    if (!clock.running) {
        clock.running = true;
        clock.since = now;
    }
    const DWORD waited = now - clock.since;
    if (waited < HELD_TEXT_WAIT_MS) {
        WaitForActivity(HELD_TEXT_WAIT_MS - waited);
        return;
    }
    WriteHeldText();
    clock.running = false;
    WaitForActivity();
}

void AddEvent(AnswerFetch& fetch, FetchEvent event)
{
    std::lock_guard<std::mutex> hold(fetch.lock);
    fetch.events.push_back(std::move(event));
}

bool IsFinished(AnswerFetch& fetch)
{
    std::lock_guard<std::mutex> hold(fetch.lock);
    return fetch.finished;
}

// Host names are ASCII; the locale's compare would cost far more for the
// hundreds of queued jobs looked at each time.
bool SameHost(const char* one, const char* other)
{
    for (;; ++one, ++other) {
        const char a = *one >= 'A' && *one <= 'Z' ? static_cast<char>(*one - 'A' + 'a') : *one;
        const char b = *other >= 'A' && *other <= 'Z' ? static_cast<char>(*other - 'A' + 'a') : *other;
        if (a != b)
            return false;
        if (!a)
            return true;
    }
}

// Both the start of a fetch and the end of the task thread may come first.
SharedLock& WorkersLock()
{
    static SharedLock lock;
    return lock;
}

// Wakes a fetch thread waiting for work: a fetch was planned, or the threads
// are to end. Made at first use and kept for the life of the process.
HANDLE WorkReady()
{
    static const HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
    return semaphore;
}

// Once finished, a fetch is the task thread's alone.
void FinishFetch(AnswerFetch& fetch, int result)
{
    {
        std::lock_guard<std::mutex> hold(fetch.lock);
        fetch.result = result;
        fetch.finished = true;
    }
    SignalActivity();
}

int RunningToHost(const char* host)
{
    int count = 0;
    for (const std::string& running : workers.runningHosts)
        count += SameHost(running.c_str(), host);
    return count;
}

// Under the workers' lock: finishes the planned fetches whose jobs have left
// the queue, which never start.
void FinishAbandonedWaiting()
{
    std::erase_if(workers.waiting, [](AnswerFetch* fetch) {
        if (!fetch->abandoned)
            return false;
        FinishFetch(*fetch, 1);
        return true;
    });
}

// Under the workers' lock: the first planned fetch that may start now, taken
// from the list and counted as running.
AnswerFetch* TakeRunnableFetch()
{
    FinishAbandonedWaiting();
    if (workers.runningHosts.size() >= workers.limit)
        return nullptr;
    for (auto next = workers.waiting.begin(); next != workers.waiting.end(); ++next) {
        AnswerFetch* fetch = *next;
        if (RunningToHost(fetch->plan.host) >= HOST_FETCH_LIMIT)
            continue;
        workers.waiting.erase(next);
        workers.runningHosts.emplace_back(fetch->plan.host);
        return fetch;
    }
    return nullptr;
}

// The host leaves the running ones before the fetch is finished, since the
// task thread may drop a finished fetch at once.
void RunFetch(AnswerFetch* fetch)
{
    SetFetchCancelFlag(&fetch->abandoned);
    const int result = fetch->plan.jobType == JOB_WHOIS ? FetchWhoisAnswer(*fetch) : FetchFingerAnswer(*fetch);
    SetFetchCancelFlag(nullptr);
    WorkersLock().lock();
    const auto running = std::ranges::find(workers.runningHosts, std::string(fetch->plan.host));
    if (running != workers.runningHosts.end())
        workers.runningHosts.erase(running);
    WorkersLock().unlock();
    FinishFetch(*fetch, result);
}

DWORD WINAPI FetchThread(LPVOID)
{
    WorkersLock().lock();
    for (;;) {
        AnswerFetch* fetch = TakeRunnableFetch();
        if (fetch) {
            WorkersLock().unlock();
            RunFetch(fetch);
            WorkersLock().lock();
            continue;
        }
        if (workers.ending)
            break;
        ++workers.idle;
        WorkersLock().unlock();
        WaitForSingleObject(WorkReady(), INFINITE);
        WorkersLock().lock();
        --workers.idle;
    }
    WorkersLock().unlock();
    return 0;
}


// Plans the fetch for the fetch threads, waking one that waits for work or
// making one when none waits; false when there is no thread to take it.
bool HandToWorker(AnswerFetch* fetch, uint32_t limit)
{
    WorkersLock().lock();
    workers.limit = limit;
    if (WorkReady() && workers.idle == 0 && workers.threads.size() < limit) {
        // A thread looks for work as it starts.
        if (HANDLE thread = CreateThread(nullptr, 0, FetchThread, nullptr, 0, nullptr))
            workers.threads.push_back(thread);
    }
    const bool taken = WorkReady() && !workers.threads.empty();
    if (taken) {
        workers.waiting.push_back(fetch);
        if (workers.idle > 0)
            ReleaseSemaphore(WorkReady(), 1, nullptr);
    }
    WorkersLock().unlock();
    return taken;
}

// Ends the fetch threads once every fetch has finished.
void EndWorkers()
{
    WorkersLock().lock();
    workers.ending = true;
    std::vector<HANDLE> threads;
    threads.swap(workers.threads);
    if (!threads.empty())
        ReleaseSemaphore(WorkReady(), static_cast<LONG>(threads.size()), nullptr);
    WorkersLock().unlock();
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, END_WAIT_MS);
        CloseHandle(thread);
    }
    WorkersLock().lock();
    workers.ending = false;
    workers.idle = 0;
    WorkersLock().unlock();
}

// What the job's fetch asks, host being the server it asks first.
void PlanFetch(const Job& job, const char* host, FetchPlan& plan)
{
    const FingerEntry& entry = *job.entry;
    plan = {};
    plan.jobType = job.jobType;
    plan.entryFlags = entry.flags;
    snprintf(plan.address, sizeof plan.address, "%s", entry.address);
    snprintf(plan.host, sizeof plan.host, "%s", host);
    plan.progressive = !(Settings.options & OPT_AUTO_HTML) || (entry.flags & FE_HTML_NEVER);
}

// Plans the fetch for the fetch threads; null when there is no memory for
// its buffer or no thread for it.
AnswerFetch* StartFetch(const FetchPlan& plan, uint32_t limit)
{
    auto fetch = std::make_unique<AnswerFetch>();
    fetch->plan = plan;
    fetch->limit = Settings.maxAllocSize;
    fetch->buffer = TakeBuffer(fetch->limit);
    if (!fetch->buffer)
        return nullptr;
    fetch->buffer[0] = '\0';
    if (!HandToWorker(fetch.get(), limit)) {
        GiveBackBuffer(std::move(fetch->buffer), fetch->limit);
        return nullptr;
    }
    table.fetches.push_back(std::move(fetch));
    return table.fetches.back().get();
}

// A finished answer that waits for its turn keeps only the bytes it holds.
void ShrinkBuffer(AnswerFetch& fetch)
{
    const uint32_t kept = fetch.received + BUFFER_SLACK;
    if (fetch.limit + BUFFER_SLACK <= kept + 4096)
        return;
    HeapBuffer smaller(static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kept)));
    if (!smaller)
        return;
    memcpy(smaller.get(), fetch.buffer.get(), kept);
    std::swap(fetch.buffer, smaller);
    GiveBackBuffer(std::move(smaller), fetch.limit);
    fetch.limit = fetch.received;
}

// Only a finished fetch is dropped.
void DropFetch(size_t index)
{
    AnswerFetch& fetch = *table.fetches[index];
    GiveBackBuffer(std::move(fetch.buffer), fetch.limit);
    table.fetches.erase(table.fetches.begin() + static_cast<std::ptrdiff_t>(index));
}

// What the fetches hold now: the hosts of those planned and not finished,
// and the finished answers waiting for their turn. Drops the abandoned ones
// that have ended.
struct FetchCensus {
    std::vector<const char*> unfinishedHosts;
    size_t waitingBytes = 0;
};

FetchCensus TakeCensus()
{
    WorkersLock().lock();
    FinishAbandonedWaiting();
    WorkersLock().unlock();
    FetchCensus census;
    for (size_t i = table.fetches.size(); i-- > 0;) {
        AnswerFetch& fetch = *table.fetches[i];
        if (!IsFinished(fetch)) {
            census.unfinishedHosts.push_back(fetch.plan.host);
        } else if (fetch.abandoned) {
            DropFetch(i);
        } else {
            ShrinkBuffer(fetch);
            census.waitingBytes += fetch.received;
        }
    }
    return census;
}

int FetchesToHost(const FetchCensus& census, const char* host)
{
    int count = 0;
    for (const char* unfinished : census.unfinishedHosts)
        count += SameHost(unfinished, host);
    return count;
}

// The server the job's fetch would ask first, which the per-host limit
// counts.
const char* HostOfJob(const Job& job)
{
    return job.jobType == JOB_WHOIS ? Settings.whoisServer : FingerHostOf(job.entry->address);
}

// Carries out a run of pieces that follow each other in the buffer.
struct PieceRun {
    bool open = false;
    FetchEvent piece;
};

void ShowPieces(FingerEntry* entry, AnswerFetch& fetch, PieceRun& run)
{
    if (!run.open)
        return;
    run.open = false;
    const char* bytes = fetch.buffer.get() + run.piece.offset;
    // The last piece reaches the pane in the same write as its line end, so a
    // CR at its end stays with the LF.
    if (run.piece.show)
        HoldEntryText(entry, bytes, run.piece.length);
    if (run.piece.show && run.piece.withLineEnd)
        HoldEntryText(entry, "\n", 1);
    if (run.piece.log && (entry->flags & FE_LOG_OUTPUT))
        AppendToLog(bytes, run.piece.length);
}

// Carries out events in order, holding the pane's text for one write and
// giving each status bar part only its latest text.
void CarryOut(FingerEntry* entry, AnswerFetch& fetch, const std::vector<FetchEvent>& events)
{
    constexpr int PARTS = 3;
    size_t latestStatus[PARTS] = {};
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind == FETCH_STATUS && events[i].part >= 0 && events[i].part < PARTS)
            latestStatus[events[i].part] = i + 1;
    }
    PieceRun run;
    for (size_t i = 0; i < events.size(); ++i) {
        const FetchEvent& event = events[i];
        switch (event.kind) {
        case FETCH_STATUS:
            if (event.part >= 0 && event.part < PARTS && latestStatus[event.part] == i + 1)
                ReportStatusText(event.part, event.text.c_str());
            break;
        case FETCH_MESSAGE:
            ShowPieces(entry, fetch, run);
            EmitJobMessage(entry, event.text.c_str());
            break;
        case FETCH_TEXT:
            ShowPieces(entry, fetch, run);
            HoldEntryText(entry, event.text.data(), static_cast<uint32_t>(event.text.size()));
            break;
        case FETCH_PIECE:
            if (run.open && !run.piece.withLineEnd && event.offset == run.piece.offset + run.piece.length &&
                event.show == run.piece.show && event.log == run.piece.log) {
                run.piece.length += event.length;
                run.piece.withLineEnd = event.withLineEnd;
            } else {
                ShowPieces(entry, fetch, run);
                run = {true, event};
            }
            break;
        }
    }
    ShowPieces(entry, fetch, run);
}

}

void RecordStatus(AnswerFetch& fetch, int part, const char* text)
{
    AddEvent(fetch, {.kind = FETCH_STATUS, .part = part, .text = text});
}

void RecordMessage(AnswerFetch& fetch, const char* text)
{
    AddEvent(fetch, {.kind = FETCH_MESSAGE, .text = text});
}

void RecordText(AnswerFetch& fetch, const char* text)
{
    AddEvent(fetch, {.kind = FETCH_TEXT, .text = text});
}

void RecordPiece(AnswerFetch& fetch, const FetchEvent& piece)
{
    AddEvent(fetch, piece);
}

void StartDueFetches()
{
    FetchCensus census = TakeCensus();
    if (JobsCancelled() || !(Settings.options & OPT_NETWORK))
        return;
    const uint32_t limit = InRange(Settings.fetchLimit, FETCH_LIMIT_RANGE);
    LockJobList();
    std::vector<const char*> fullHosts;
    int looked = 0;
    for (Job* job = JobQueue.jobHead;
         job && looked < LOOKAHEAD_JOBS && census.unfinishedHosts.size() < PLANNED_AHEAD * size_t{limit};
         job = job->nextJob, ++looked) {
        if (job->fetch)
            continue;
        // The job being shown always may start; the others only while the
        // answers already waiting stay small.
        if (job != JobQueue.jobHead && census.waitingBytes >= WAITING_ANSWER_BYTES)
            break;
        // Most of a long queue often goes to a few hosts that are full.
        const char* host = HostOfJob(*job);
        if (std::ranges::any_of(fullHosts, [host](const char* full) { return SameHost(full, host); }))
            continue;
        if (FetchesToHost(census, host) >= PLANNED_AHEAD * HOST_FETCH_LIMIT) {
            fullHosts.push_back(host);
            continue;
        }
        FetchPlan plan;
        PlanFetch(*job, host, plan);
        AnswerFetch* fetch = StartFetch(plan, limit);
        if (!fetch) {
            headRefused = job == JobQueue.jobHead;
            break;
        }
        job->fetch = fetch;
        if (!IsFinished(*fetch))
            census.unfinishedHosts.push_back(fetch->plan.host);
    }
    UnlockJobList();
}

AnswerFetch* ShowHeadFetch(FingerEntry* entry)
{
    AnswerFetch* fetch = nullptr;
    HeldTextClock clock;
    headRefused = false;
    for (;;) {
        StartDueFetches();
        fetch = HeadJobFetch();
        if (fetch || JobsCancelled() || !(Settings.options & OPT_NETWORK))
            break;
        if (headRefused) {
            EmitJobMessage(entry, "** Not enough memory to receive the answer **\n\n");
            return nullptr;
        }
        WaitForHeadFetch(clock);
    }
    if (!fetch)
        return nullptr;
    for (;;) {
        std::vector<FetchEvent> events;
        bool finished = false;
        {
            std::lock_guard<std::mutex> hold(fetch->lock);
            events.assign(fetch->events.begin() + static_cast<std::ptrdiff_t>(fetch->shown), fetch->events.end());
            fetch->shown = fetch->events.size();
            finished = fetch->finished;
        }
        CarryOut(entry, *fetch, events);
        if (finished)
            return fetch;
        StartDueFetches();
        WaitForHeadFetch(clock);
    }
}

void ReleaseFetch(AnswerFetch* fetch)
{
    LockJobList();
    if (JobQueue.jobHead && JobQueue.jobHead->fetch == fetch)
        JobQueue.jobHead->fetch = nullptr;
    UnlockJobList();
    for (size_t i = 0; i < table.fetches.size(); ++i) {
        if (table.fetches[i].get() == fetch) {
            DropFetch(i);
            return;
        }
    }
}

void AbandonFetch(AnswerFetch* fetch)
{
    fetch->abandoned = true;
    SignalActivity();
}

void EndAllFetches()
{
    for (const auto& fetch : table.fetches)
        fetch->abandoned = true;
    WorkersLock().lock();
    FinishAbandonedWaiting();
    WorkersLock().unlock();
    const DWORD started = GetTickCount();
    for (size_t i = table.fetches.size(); i-- > 0;) {
        while (!IsFinished(*table.fetches[i]) && GetTickCount() - started < END_WAIT_MS)
            WaitForActivity();
        if (IsFinished(*table.fetches[i])) {
            DropFetch(i);
        } else {
            // A fetch that does not end in time is left to the end of the
            // process, with its thread.
            table.fetches[i].release();
            table.fetches.erase(table.fetches.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    EndWorkers();
    pool.spare.clear();
}
