#include "jobs/task_thread.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "entries/settings.h"
#include "jobs/answer_fetch.h"
#include "jobs/finger_client.h"
#include "jobs/job_events.h"
#include "jobs/job_queue.h"
#include "jobs/whois_client.h"
#include "output/log_file.h"
#include "output/monitor_files.h"
#include "output/output_window.h"

const char SimulatedFingerAnswer[] =
    "   This is simulated finger output.\n   Uncheck the simulate finger box on\n   Tools->Options->Advanced.\n\n";
const char SimulatedWhoisAnswer[] =
    "   This is simulated whois output.\n   Uncheck the simulate finger box on\n   Tools->Options->Advanced.\n\n";

namespace {

// The longest an idle thread sleeps before it looks at the queue again.
constexpr DWORD IDLE_POLL_MS = 100;

bool Closing()
{
    return (GetJobState() & JS_CLOSING) != 0;
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
        while (GetJobCount() != 0) {
            if (PurgeJobs() || (GetJobState() & JS_PAUSED))
                break;
            SetJobState(0xFFFFFFFFu, JS_BUSY);
            ProcessJob();
            SetJobState(~static_cast<uint32_t>(JS_BUSY), 0);
            ReportStatusDirty();
        }
        if (Closing())
            break;
        // Drops the fetches of jobs that a kill took away.
        StartDueFetches();
        WaitForQueueChange(IDLE_POLL_MS);
    }
    // Nothing queued survives the thread, and no fetch either.
    PurgeJobs();
    EndAllFetches();
    SetJobState(0xFFFFFFFFu, JS_THREAD_ENDED);
    return 0;
}

}

int StartTaskThread()
{
    OpenJobQueue();
    HANDLE thread = CreateThread(nullptr, 0, TaskThreadMain, nullptr, 0, nullptr);
    if (!thread) {
        ReportBox("Couldn't create TASK thread", "Error");
        ReleaseJobMutexes();
        return 1;
    }
    CloseHandle(thread);
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (entry->flags & FE_FINGER_AT_START)
            FingerEntryNow(entry);
    }
    return 0;
}

void ProcessJob()
{
    uint32_t jobType = 0;
    FingerEntry* entry = ActivateHeadJob(&jobType);

    ReportJobStarted(entry);
    BeginEntryOutput(entry);
    char header[256];
    snprintf(header, sizeof header, "%s \"%s\" %s\n", jobType < 2 ? JobTypeNames[jobType] : "", entry->address,
             (entry->flags & FE_LONG_OUTPUT) ? "(verbose)" : "");
    HoldEntryText(entry, header, static_cast<uint32_t>(strlen(header)));
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
            ReportBox("Unexpected task type", "Internal error");
            break;
        }
    }
    EndEntryOutput(entry);
    if (entry->flags & FE_TEMPORARY) {
        FreeFingerEntry(entry);
    } else {
        entry->fingerCount++;
        if (!Closing())
            ReportRowChanged(entry);
    }
    RemoveHeadJob();
    ReportJobEnded();
}

void RunFingerJob(FingerEntry* entry)
{
    if (entry->flags & FE_ADD_TIME) {
        char stamp[256];
        FormatTimeStamp(stamp, sizeof stamp);
        HoldEntryText(entry, stamp, static_cast<uint32_t>(strlen(stamp)));
        LogIfAsked(entry, stamp);
    }
    if (!(Settings.options & OPT_NETWORK)) {
        HoldEntryText(entry, SimulatedFingerAnswer, sizeof SimulatedFingerAnswer - 1);
        UpdateMonitorFile(entry, SimulatedFingerAnswer, sizeof SimulatedFingerAnswer - 1);
    } else {
        FingerAddress(entry);
    }
    entry->lastFingered = static_cast<int32_t>(time(nullptr));
    WriteHeldText();
    if (!Closing())
        ScrollToCaret();
}

void RunWhoisJob(FingerEntry* entry)
{
    if (!(Settings.options & OPT_NETWORK))
        HoldEntryText(entry, SimulatedWhoisAnswer, sizeof SimulatedWhoisAnswer - 1);
    else
        WhoisAddress(entry);
    WriteHeldText();
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
