#include "jobs/job_queue.h"

#include <cstdio>
#include <vector>

#include "entries/waits.h"
#include "jobs/answer_fetch.h"
#include "jobs/job_events.h"
#include "output/output_window.h"

JobQueueState JobQueue;
const char* const JobTypeNames[2] = {"Fingering", "Performing WHOIS"};

namespace {

// Set whenever the queue or the job state changes, so that an idle task thread
// looks at them at once. Made at first use and kept for the life of the
// process: a thread that outlives the shutdown may still be waiting for it.
HANDLE QueueChangedEvent()
{
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

thread_local const std::atomic<bool>* fetchAbandoned = nullptr;
// From the task thread's start until the locks are released at shutdown.
bool queueOpen;

// A job leaves the queue; a fetch of its answer stops and is dropped.
void FreeJob(Job* job)
{
    if (job->fetch)
        AbandonFetch(job->fetch);
    HeapFree(GetProcessHeap(), 0, job);
}

// Tells the window side and the task thread that the queue or its state changed.
void QueueChanged()
{
    ReportStatusDirty();
    WakeTaskThread();
}

}

void WakeTaskThread()
{
    if (HANDLE event = QueueChangedEvent())
        SetEvent(event);
}

void WaitForQueueChange(DWORD timeoutMs)
{
    HANDLE event = QueueChangedEvent();
    if (!event || WaitForSingleObject(event, timeoutMs) == WAIT_FAILED)
        Sleep(timeoutMs);
}

uint32_t GetJobState()
{
    return JobQueue.jobState;
}

bool TaskThreadRunning()
{
    return queueOpen && !(JobQueue.jobState & JS_THREAD_ENDED);
}

bool JobsCancelled()
{
    return (JobQueue.jobState & JS_CANCEL) != 0;
}

bool FetchCancelled()
{
    return JobsCancelled() || (fetchAbandoned && fetchAbandoned->load());
}

void SetFetchCancelFlag(const std::atomic<bool>* abandoned)
{
    fetchAbandoned = abandoned;
}

void LockJobList()
{
    TakeLock(JobQueue.JobListMutex);
}

void UnlockJobList()
{
    ReleaseLock(JobQueue.JobListMutex);
}

void LockJobState()
{
    TakeLock(JobQueue.JobStateMutex);
}

void UnlockJobState()
{
    ReleaseLock(JobQueue.JobStateMutex);
}

void SetJobState(uint32_t keep, uint32_t set)
{
    LockJobState();
    JobQueue.jobState = (JobQueue.jobState & keep) | set;
    UnlockJobState();
}

void ShowKillPendingBox()
{
    ReportBox("Ombrelane is busy removing the existing jobs.\n\nPlease Wait.", "Kill All Jobs");
}

int AddJob(uint32_t jobType, FingerEntry* entry)
{
    if (JobQueue.jobState & (JS_CLOSING | JS_LOADING))
        return 1;
    if (JobQueue.jobState & JS_KILLING) {
        ShowKillPendingBox();
        return 1;
    }
    auto* job = static_cast<Job*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Job)));
    if (!job) {
        ReportBox("Couldn't allocate memory for a new job", "Add Job");
        return 1;
    }
    LockJobList();
    job->jobType = jobType;
    job->entry = entry;
    if (!JobQueue.jobHead)
        JobQueue.jobHead = job;
    if (JobQueue.jobTail) {
        job->prevJob = JobQueue.jobTail;
        JobQueue.jobTail->nextJob = job;
    }
    JobQueue.jobTail = job;
    JobQueue.jobCount = JobQueue.jobCount + 1;
    UnlockJobList();
    QueueChanged();
    return 0;
}

int FingerEntryNow(FingerEntry* entry)
{
    return AddJob(JOB_FINGER, entry);
}

Job* RemoveJob(Job* job)
{
    Job* next = job->nextJob;
    if (job->prevJob)
        job->prevJob->nextJob = next;
    else
        JobQueue.jobHead = next;
    if (next)
        next->prevJob = job->prevJob;
    else
        JobQueue.jobTail = job->prevJob;
    FreeJob(job);
    JobQueue.jobCount = JobQueue.jobCount - 1;
    return next;
}

FingerEntry* ActivateHeadJob(uint32_t* jobType)
{
    LockJobList();
    Job* head = JobQueue.jobHead;
    head->jobFlags |= JOB_ACTIVE;
    *jobType = head->jobType;
    FingerEntry* entry = head->entry;
    UnlockJobList();
    return entry;
}

void RemoveHeadJob()
{
    LockJobList();
    RemoveJob(JobQueue.jobHead);
    UnlockJobList();
}

AnswerFetch* HeadJobFetch()
{
    LockJobList();
    AnswerFetch* fetch = JobQueue.jobHead ? JobQueue.jobHead->fetch : nullptr;
    UnlockJobList();
    return fetch;
}

int ReleaseEntryJobs(FingerEntry* entry)
{
    LockJobList();
    for (Job* job = JobQueue.jobHead; job;) {
        if (job->entry != entry) {
            job = job->nextJob;
            continue;
        }
        if (job->jobFlags & JOB_ACTIVE) {
            UnlockJobList();
            return 1;
        }
        job = RemoveJob(job);
    }
    UnlockJobList();
    return 0;
}

void KillAllJobs()
{
    if (JobQueue.jobState & JS_CANCEL)
        return;
    SetJobState(0xFFFFFFFFu, JS_KILLING);
    QueueChanged();
}

void PauseJobs()
{
    if (JobQueue.jobState & JS_CANCEL)
        return;
    LockJobState();
    JobQueue.jobState = JobQueue.jobState ^ JS_PAUSED;
    UnlockJobState();
    QueueChanged();
}

int RequestShutdown()
{
    SetJobState(0xFFFFFFFFu, JS_CLOSING);
    WakeTaskThread();
    return 0;
}

uint32_t GetJobCount()
{
    return JobQueue.jobCount;
}

int PurgeJobs()
{
    if (!(JobQueue.jobState & JS_CANCEL))
        return 0;
    // A quick finger's entry lives only for its job: one that will never run
    // takes its entry with it. The entries go once the job list is let go, as
    // the entry list may not be taken while it is held.
    std::vector<FingerEntry*> temporary;
    LockJobList();
    for (Job* job = JobQueue.jobHead; job;) {
        Job* next = job->nextJob;
        if (job->entry->flags & FE_TEMPORARY)
            temporary.push_back(job->entry);
        FreeJob(job);
        job = next;
    }
    JobQueue.jobHead = nullptr;
    JobQueue.jobTail = nullptr;
    JobQueue.jobCount = 0;
    SetJobState(~static_cast<uint32_t>(JS_KILLING), 0);
    UnlockJobList();
    for (FingerEntry* entry : temporary)
        FreeFingerEntry(entry);
    ReportStatusDirty();
    return 1;
}

FingerEntry* CurrentJobEntry()
{
    Job* head = JobQueue.jobHead;
    return head ? head->entry : nullptr;
}

void CurrentJobTitle(char* buffer, int size)
{
    buffer[0] = '\0';
    LockJobList();
    if (JobQueue.jobHead && JobQueue.jobHead->entry)
        snprintf(buffer, size, "%s", EntryTitle(*JobQueue.jobHead->entry));
    UnlockJobList();
}

void FormatRunningJob(char* buffer, int size)
{
    char title[DESCRIPTION_SIZE > ADDRESS_SIZE ? DESCRIPTION_SIZE : ADDRESS_SIZE];
    LockJobList();
    const Job* head = JobQueue.jobHead;
    const char* type = head && head->jobType < 2 ? JobTypeNames[head->jobType] : "";
    CurrentJobTitle(title, sizeof title);
    UnlockJobList();
    snprintf(buffer, static_cast<size_t>(size), "%s %s", type, title);
}

void ViewJobs()
{
    FingerEntry scratch;
    SetEntryDefaults(scratch);
    char line[400];
    snprintf(line, sizeof line, "Jobs Pending: %d\n", static_cast<int>(JobQueue.jobCount));
    AppendEntryText(&scratch, line);
    LockJobList();
    int number = 1;
    for (const Job* job = JobQueue.jobHead; job; job = job->nextJob, ++number) {
        const char* type = job->jobType < 2 ? JobTypeNames[job->jobType] : "";
        snprintf(line, sizeof line, "Job %02d. Type: %s. Address: %s%s\n", number, type, job->entry->address,
                 (job->jobFlags & JOB_ACTIVE) ? "(active)" : "");
        AppendEntryText(&scratch, line);
    }
    UnlockJobList();
    AppendEntryText(&scratch, "\n");
}

void OpenJobQueue()
{
    JobQueue.jobTail = nullptr;
    JobQueue.jobHead = nullptr;
    JobQueue.jobCount = 0;
    JobQueue.jobState = 0;
    queueOpen = true;
}

void ReleaseJobMutexes()
{
    for (ProgramLock* lock : {&JobQueue.JobListMutex, &JobQueue.JobStateMutex, &EntryListMutex})
        CloseLock(*lock);
    queueOpen = false;
}
