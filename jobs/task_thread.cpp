#include "task_thread.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "../entries/settings.h"
#include "../output/log_file.h"
#include "../output/monitor_files.h"
#include "../output/output_window.h"
#include "../shell/shell_handles.h"
#include "../shell/status_bar.h"
#include "../ui/entry_list_view.h"
#include "finger_client.h"
#include "job_queue.h"
#include "whois_client.h"

const char SimulatedFingerAnswer[] =
    "   This is simulated finger output.\n   Uncheck the simulate finger box on\n   Tools->Options->Advanced.\n\n";
const char SimulatedWhoisAnswer[] =
    "   This is simulated whois output.\n   Uncheck the simulate finger box on\n   Tools->Options->Advanced.\n\n";

namespace {

// The longest an idle thread sleeps before it looks at the queue again.
constexpr DWORD IDLE_POLL_MS = 100;

// Set by WakeTaskThread so that an idle thread looks at the queue at once.
// Made with the first thread and kept for the life of the process: a thread
// that outlives the shutdown may still be waiting for it.
HANDLE wakeEvent;

bool Closing()
{
    return (JobQueue.jobState & JS_CLOSING) != 0;
}

void LogIfAsked(const FingerEntry* entry, const char* text)
{
    if (entry->flags & FE_LOG_OUTPUT)
        AppendToLog(text, static_cast<uint32_t>(strlen(text)));
}

DWORD WINAPI TaskThreadMain(LPVOID)
{
    while (!Closing()) {
        PurgeJobs();
        while (JobQueue.jobCount != 0) {
            if (PurgeJobs() || (JobQueue.jobState & JS_PAUSED))
                break;
            SetJobState(0xFFFFFFFFu, JS_BUSY);
            ProcessJob();
            SetJobState(~static_cast<uint32_t>(JS_BUSY), 0);
            MarkStatusDirty();
        }
        if (Closing())
            break;
        if (!wakeEvent || WaitForSingleObject(wakeEvent, IDLE_POLL_MS) == WAIT_FAILED)
            Sleep(IDLE_POLL_MS);
    }
    // Nothing queued survives the thread.
    PurgeJobs();
    SetJobState(0xFFFFFFFFu, JS_THREAD_ENDED);
    return 0;
}

}

void WakeTaskThread()
{
    if (wakeEvent)
        SetEvent(wakeEvent);
}

int StartTaskThread(HWND owner)
{
    if (!wakeEvent)
        wakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    JobQueue.JobListMutex = CreateMutexA(nullptr, FALSE, nullptr);
    JobQueue.JobStateMutex = JobQueue.JobListMutex ? CreateMutexA(nullptr, FALSE, nullptr) : nullptr;
    EntryListMutex = JobQueue.JobStateMutex ? CreateMutexA(nullptr, FALSE, nullptr) : nullptr;
    if (!EntryListMutex) {
        ReleaseJobMutexes();
        return 1;
    }
    JobQueue.jobTail = nullptr;
    JobQueue.jobHead = nullptr;
    JobQueue.jobCount = 0;
    JobQueue.jobState = 0;
    HANDLE thread = CreateThread(nullptr, 0, TaskThreadMain, nullptr, 0, nullptr);
    if (!thread) {
        MessageBoxA(owner, "Couldn't create TASK thread", "Error", MB_OK | MB_ICONEXCLAMATION);
        ReleaseJobMutexes();
        return 1;
    }
    CloseHandle(thread);
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (entry->flags & FE_FINGER_AT_START)
            AddJob(JOB_FINGER, entry);
    }
    return 0;
}

void ProcessJob()
{
    LockJobList();
    Job* head = JobQueue.jobHead;
    head->jobFlags |= JOB_ACTIVE;
    const uint32_t jobType = head->jobType;
    FingerEntry* entry = CurrentJobEntry();
    UnlockJobList();

    BeginEntryOutput(entry);
    char header[256];
    snprintf(header, sizeof header, "%s \"%s\" %s\n", jobType < 2 ? JobTypeNames[jobType] : "", entry->address,
             (entry->flags & FE_LONG_OUTPUT) ? "(verbose)" : "");
    AppendEntryText(entry, header);
    LogIfAsked(entry, header);

    if (!JobsCancelled()) {
        switch (jobType) {
        case JOB_FINGER:
            SetJobState(0xFFFFFFFFu, JS_RUNNING);
            RunFingerJob(entry);
            SetJobState(~static_cast<uint32_t>(JS_RUNNING), 0);
            break;
        case JOB_WHOIS:
            SetJobState(0xFFFFFFFFu, JS_RUNNING);
            RunWhoisJob(entry);
            SetJobState(~static_cast<uint32_t>(JS_RUNNING), 0);
            break;
        default:
            MessageBoxA(MessageOwner(), "Unexpected task type", "Internal error", MB_OK | MB_ICONEXCLAMATION);
            break;
        }
    }
    EndEntryOutput(entry);
    SetStatusText(1, "");
    if (entry->flags & FE_TEMPORARY) {
        FreeFingerEntry(entry);
    } else {
        entry->fingerCount++;
        if (!Closing()) {
            Redraw_FingerEntry(entry);
            if (Settings.sortColumn == 2)
                RequestResort();
        }
    }
    LockJobList();
    RemoveJob(JobQueue.jobHead);
    UnlockJobList();
}

void RunFingerJob(FingerEntry* entry)
{
    if (entry->flags & FE_ADD_TIME) {
        char stamp[256];
        FormatTimeStamp(stamp, sizeof stamp);
        AppendEntryText(entry, stamp);
        LogIfAsked(entry, stamp);
    }
    if (!(Settings.options & OPT_NETWORK)) {
        AppendEntryText(entry, SimulatedFingerAnswer);
        UpdateMonitorFile(entry, SimulatedFingerAnswer, sizeof SimulatedFingerAnswer - 1);
    } else {
        FingerAddress(entry);
    }
    entry->lastFingered = static_cast<int32_t>(time(nullptr));
    if (!Closing())
        ScrollToCaret();
}

void RunWhoisJob(FingerEntry* entry)
{
    if (!(Settings.options & OPT_NETWORK))
        AppendEntryText(entry, SimulatedWhoisAnswer);
    else
        WhoisAddress(entry);
    ScrollToCaret();
}

int FormatTimeStamp(char* buffer, int size)
{
    time_t now = time(nullptr);
    const struct tm* local = localtime(&now);
    if (!local || size <= 0) {
        if (size > 0)
            buffer[0] = '\0';
        return 0;
    }
    return static_cast<int>(strftime(buffer, static_cast<size_t>(size), "On %A, %d of %B %Y at %I:%M %p:\n", local));
}
