// The queue of finger and whois jobs shared by the main thread and the task thread.
#pragma once

#include <windows.h>
#include <atomic>
#include <cstdint>
#include "entries/finger_entry.h"

struct AnswerFetch;

enum : uint32_t { JOB_ACTIVE = 0x01 };
enum : uint32_t { JOB_FINGER = 0, JOB_WHOIS = 1 };

enum : uint32_t {
    JS_RUNNING      = 0x01,
    JS_KILLING      = 0x04,
    JS_PAUSED       = 0x08,
    JS_BUSY         = 0x10,
    JS_CLOSING      = 0x20,
    JS_THREAD_ENDED = 0x40,
    JS_LOADING      = 0x80,
    JS_CANCEL       = JS_KILLING | JS_CLOSING,
};

struct Job {
    uint32_t jobFlags;
    uint32_t jobType;
    FingerEntry* entry;
    // The network part of the job when it has been started (answer_fetch).
    AnswerFetch* fetch;
    Job* prevJob;
    Job* nextJob;
};

struct JobQueueState {
    Job* jobHead;
    Job* jobTail;
    volatile uint32_t jobCount;
    volatile uint32_t jobState;
    ProgramLock JobListMutex;
    ProgramLock JobStateMutex;
};

extern JobQueueState JobQueue;
extern const char* const JobTypeNames[2];

// Any thread: an idle task thread looks at the queue and the job state now
// instead of at its next poll.
void WakeTaskThread();
// Task thread: sleeps until the queue or the job state changes, or at most
// timeoutMs.
void WaitForQueueChange(DWORD timeoutMs);
// Tells the user that new jobs must wait until a kill has emptied the queue.
void ShowKillPendingBox();
int AddJob(uint32_t jobType, FingerEntry* entry);
// Queues a finger of the entry; 1 when the queue refused it (and said why).
int FingerEntryNow(FingerEntry* entry);
int ReleaseEntryJobs(FingerEntry* entry);
void KillAllJobs();
void PauseJobs();
int RequestShutdown();
uint32_t GetJobCount();
uint32_t GetJobState();
void SetJobState(uint32_t keep, uint32_t set);
void LockJobList();
void UnlockJobList();
void LockJobState();
void UnlockJobState();
int PurgeJobs();
Job* RemoveJob(Job* job);
FingerEntry* CurrentJobEntry();
// Writes the title into the buffer; empty when no job is queued.
void CurrentJobTitle(char* buffer, int size);
// "Fingering" or "Performing WHOIS", a blank and the running job's title.
void FormatRunningJob(char* buffer, int size);
void ViewJobs();
// Empties the queue for the task thread about to start.
void OpenJobQueue();
// Waits until no thread holds the job-list, job-state and entry-list locks,
// and frees them; the task thread counts as ended from then.
void ReleaseJobMutexes();
// Task thread: marks the oldest job active and returns its entry and type.
// The oldest job's fetch is HeadJobFetch.
FingerEntry* ActivateHeadJob(uint32_t* jobType);
// Task thread: removes the oldest job once it has run.
void RemoveHeadJob();
AnswerFetch* HeadJobFetch();
// True from the task thread's start until it has ended.
bool TaskThreadRunning();
// True when the cancel condition (a kill or a shutdown) is set.
bool JobsCancelled();
// The cancel condition of the calling fetch thread: a kill, a shutdown, or
// its own job having left the queue (the flag named by SetFetchCancelFlag).
bool FetchCancelled();
void SetFetchCancelFlag(const std::atomic<bool>* abandoned);
