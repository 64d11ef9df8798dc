// How the jobs layer tells the window side what happens. The shell fills the
// handlers in at start-up; an event without a handler is dropped, so the queue
// and the task thread also run with no window at all.
#pragma once

#include "entries/finger_entry.h"

struct JobEventHandlers {
    // Task thread: a job for the entry starts (its header is written next).
    void (*jobStarted)(FingerEntry* entry);
    // Any thread: a text for a part (0-2) of the status bar.
    void (*statusText)(int part, const char* text);
    // Any thread: the queue or the job state changed, so the status is stale.
    void (*statusDirty)();
    // Task thread: the entry's count and time changed; redraw its row.
    void (*rowChanged)(FingerEntry* entry);
    // Either thread: a box for the user, with the exclamation icon.
    void (*showBox)(const char* text, const char* title);
    // Task thread: the job has ended and left the queue.
    void (*jobEnded)();
};

// Main thread, before the task thread starts; tests may install their own.
void SetJobEventHandlers(const JobEventHandlers& handlers);

void ReportJobStarted(FingerEntry* entry);
void ReportStatusText(int part, const char* text);
void ReportStatusDirty();
void ReportRowChanged(FingerEntry* entry);
void ReportBox(const char* text, const char* title);
void ReportJobEnded();
