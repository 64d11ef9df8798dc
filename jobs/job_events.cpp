#include "jobs/job_events.h"

namespace {

JobEventHandlers handlers;

}

void SetJobEventHandlers(const JobEventHandlers& installed)
{
    handlers = installed;
}

void ReportJobStarted(FingerEntry* entry)
{
    if (handlers.jobStarted)
        handlers.jobStarted(entry);
}

void ReportStatusText(int part, const char* text)
{
    if (handlers.statusText)
        handlers.statusText(part, text);
}

void ReportStatusDirty()
{
    if (handlers.statusDirty)
        handlers.statusDirty();
}

void ReportRowChanged(FingerEntry* entry)
{
    if (handlers.rowChanged)
        handlers.rowChanged(entry);
}

void ReportBox(const char* text, const char* title)
{
    if (handlers.showBox)
        handlers.showBox(text, title);
}

void ReportJobEnded()
{
    if (handlers.jobEnded)
        handlers.jobEnded();
}
