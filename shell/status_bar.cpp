#include "shell/status_bar.h"

#include <commctrl.h>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "jobs/job_queue.h"
#include "jobs/scheduling.h"
#include "shell/shell_handles.h"
#include "entries/shared_lock.h"

char StatusTipCopy[STATUS_TIP_SIZE];
volatile LONG StatusDirty;

namespace {

constexpr int STATUS_TEXT_SIZE = 256;
constexpr int STATUS_PARTS = 3;

// Texts set on another thread wait here for the main thread's next idle
// point: a call across threads for every progress text would cost a finger
// more than the finger's own network work, and only the last text of a part
// is ever seen anyway.
struct PendingTexts {
    char text[STATUS_PARTS][STATUS_TEXT_SIZE];
    bool waiting[STATUS_PARTS];
    // A message is on its way to wake the main thread's loop.
    bool wakePosted;
};

PendingTexts pending;

SharedLock& PendingLock()
{
    static SharedLock lock;
    return lock;
}

bool OnStatusBarThread()
{
    return GetWindowThreadProcessId(ShellHandles.statusBar, nullptr) == GetCurrentThreadId();
}

// Another thread: keeps the text for the idle point and makes sure the main
// thread's loop comes round to it.
void DeferStatusText(int part, const char* text)
{
    bool wake = false;
    {
        std::lock_guard<SharedLock> hold(PendingLock());
        snprintf(pending.text[part], sizeof pending.text[part], "%s", text);
        pending.waiting[part] = true;
        wake = !pending.wakePosted;
        pending.wakePosted = true;
    }
    if (wake)
        PostMessageA(ShellHandles.mainWindow, WM_NULL, 0, 0);
}

// Main thread: puts the waiting texts into the status bar.
void ShowPendingTexts()
{
    char texts[STATUS_PARTS][STATUS_TEXT_SIZE];
    bool waiting[STATUS_PARTS];
    {
        std::lock_guard<SharedLock> hold(PendingLock());
        memcpy(texts, pending.text, sizeof texts);
        memcpy(waiting, pending.waiting, sizeof waiting);
        memset(pending.waiting, 0, sizeof pending.waiting);
        pending.wakePosted = false;
    }
    for (int part = 0; part < STATUS_PARTS; ++part) {
        if (waiting[part])
            SendMessageA(ShellHandles.statusBar, SB_SETTEXTA, static_cast<WPARAM>(part),
                         reinterpret_cast<LPARAM>(texts[part]));
    }
}

// Appends formatted text to what the buffer already holds, cutting it at the
// buffer's end.
void AppendFormat(char* buffer, int size, const char* format, ...)
{
    const int used = static_cast<int>(strnlen(buffer, static_cast<size_t>(size)));
    if (used >= size - 1)
        return;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(buffer + used, static_cast<size_t>(size - used), format, arguments);
    va_end(arguments);
}

const char* Plural(long count)
{
    return count == 1 ? "" : "s";
}

// The countdown to the nearest scheduled entry that is not yet overdue, or
// the ready text when there is none.
void FormatNextAutoFinger(char* buffer, int size)
{
    const int64_t now = CurrentTime();
    const FingerEntry* nearest = nullptr;
    int64_t wait = 0;
    LockEntryList();
    for (const FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        if (!(entry->flags & FE_AUTO_FINGER) || entry->nextFinger < now)
            continue;
        const int64_t left = entry->nextFinger - now;
        if (!nearest || left < wait) {
            nearest = entry;
            wait = left;
        }
    }
    if (nearest)
        FormatCountdown(buffer, size, static_cast<long>(wait), nearest->description);
    else
        snprintf(buffer, static_cast<size_t>(size), "%s", "Ombrelane Ready");
    UnlockEntryList();
}

}

LRESULT SetStatusText(int part, const char* text)
{
    if (part == 0) {
        memset(StatusTipCopy, 0, sizeof StatusTipCopy);
        snprintf(StatusTipCopy, sizeof StatusTipCopy, "%s", text);
    }
    if (!ShellHandles.statusBar)
        return 0;
    if (part >= 0 && part < STATUS_PARTS) {
        if (!OnStatusBarThread()) {
            DeferStatusText(part, text);
            return TRUE;
        }
        // A text set here is newer than one still waiting for the part.
        std::lock_guard<SharedLock> hold(PendingLock());
        pending.waiting[part] = false;
    }
    return SendMessageA(ShellHandles.statusBar, SB_SETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void MarkStatusDirty()
{
    StatusDirty = 1;
}

void RefreshStatusIfDirty()
{
    if (ShellHandles.statusBar)
        ShowPendingTexts();
    if (InterlockedCompareExchange(&StatusDirty, 0, 1) == 1)
        UpdateStatusBar();
}

void UpdateStatusBar()
{
    const uint32_t count = GetJobCount();
    char jobs[32];
    if (count != 0)
        snprintf(jobs, sizeof jobs, "Jobs: %d", static_cast<int>(count));
    else
        snprintf(jobs, sizeof jobs, "Jobs: none");
    SetStatusText(0, MainStatusText());
    SetStatusText(2, jobs);
}

const char* MainStatusText()
{
    static char text[STATUS_TEXT_SIZE];
    const uint32_t state = GetJobState();
    if (state & JS_CLOSING)
        return "Ombrelane is closing down (removing all jobs)";
    if (state & JS_KILLING)
        return "Removing All Jobs";
    if (state & JS_PAUSED)
        return "All Jobs Paused";
    if (state & JS_RUNNING)
        FormatRunningJob(text, sizeof text);
    else
        FormatNextAutoFinger(text, sizeof text);
    return text;
}

void FormatCountdown(char* buffer, int size, long seconds, const char* description)
{
    if (size <= 0)
        return;
    buffer[0] = '\0';
    AppendFormat(buffer, size, "Next auto finger in ");
    long left = seconds;
    const char* separator = "";
    if (left >= 3600) {
        const long hours = left / 3600;
        AppendFormat(buffer, size, "%d hour%s", static_cast<int>(hours), Plural(hours));
        left -= hours * 3600;
        separator = ", ";
    }
    if (left >= 60) {
        const long minutes = left / 60;
        AppendFormat(buffer, size, "%s%d minute%s", separator, static_cast<int>(minutes), Plural(minutes));
        left -= minutes * 60;
    }
    if (seconds < 60)
        AppendFormat(buffer, size, "%u second%s", static_cast<unsigned>(left), Plural(left));
    AppendFormat(buffer, size, " (%s)", description);
}
