#include "output/output_window.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <iterator>
#include <mutex>
#include <vector>

#include "entries/message_box.h"
#include "entries/settings.h"
#include "entries/shared_lock.h"
#include "entries/waits.h"
#include "output/find_output.h"
#include "resources/resource.h"

HWND OutputWindow;
ProgramLock OutputMutex;
OPENFILENAMEA OutputSaveDialog;

namespace {

WNDPROC previousPaneProcedure;
// The pane's context menu, loaded by the main window.
HMENU outputMenu;
// 1 from the start to the end of a job's output block: clearing the pane
// then would pull the text from under the job's positions.
volatile LONG entryOutputOpen;

// The largest text the pane may hold; the control's own default would
// silently drop answers once the pane had filled up.
constexpr LPARAM PANE_TEXT_LIMIT = 0x7FFFFFFE;

// The pane's private message: carry out the PaneWrite that lParam points to.
// Writes are carried out on the pane's own thread, so that a writer on
// another thread waits for one cross-thread call instead of one per step.
constexpr UINT WM_PANE_WRITE = WM_APP + 1;

// A visible pane repaints itself while text streams in at most this often.
// The control would otherwise repaint all of its visible text after every
// piece written, which costs more than the writing itself.
constexpr UINT PANE_REFRESH_MS = 100;

// The thread timer of the pending repaint; 0 when none is pending. Used on
// the pane's thread only.
UINT_PTR refreshTimer;
// Painting is off from a write until the pending repaint, so a run of writes
// is painted once: the control paints at once after every change it is let
// paint, and switching painting on costs it as much as a short write. Pane
// thread only.
bool paintingHeld;

// The pane's private message: carry out what the task thread has queued.
constexpr UINT WM_PANE_QUEUED = WM_APP + 2;

// The pane's private message: bring the caret into view, at once or with the
// pending repaint.
constexpr UINT WM_PANE_SCROLL = WM_APP + 3;

// A scroll to the caret is asked for and not done yet; one is posted and not
// taken yet. Scrolling is costly in the control, so requests that come while
// one is on its way, or while a repaint is pending, become one.
std::atomic<bool> scrollWanted{false};
std::atomic<bool> scrollPosted{false};

// Plain text handed to the control in one piece at most this long; longer
// text goes in several pieces. The control's cost per piece grows faster
// than the piece once it holds many lines or many changes between letters
// and other characters, so pieces are kept moderate.
constexpr uint32_t PLAIN_PIECE_BYTES = 16384;

// The pane shows a control byte (below 0x20, but tab, CR and LF) as this
// character, so that every byte of an answer is seen and none acts on the
// control. It is ASCII and so the same in every ANSI code page, where a byte
// above 0x7F could lead a double-byte character; and unlike '?' it does not
// look like a character the code page could not show.
constexpr char CONTROL_STAND_IN = '.';

// The pane starts a new line after this many characters without a line end.
// The control lays out a whole line again whenever text is added to it, at a
// cost that grows with the line, so a single line of a megabyte would take
// minutes to show; the break is the pane's alone, and the answer's own
// records keep the line whole.
constexpr uint32_t DISPLAY_LINE_LIMIT = 512;

// Pane thread: the end of the pane's text while the caret is known to stand
// there with nothing selected, or -1; set after a write at the end, and
// cleared first by every message to the pane that might move the caret or
// change the text. While it is known, a write at the end needs no selection
// first, and the format last given there (endFormat, when endFormatKnown)
// need not be given again: each message costs the control far more than a
// finger's bookkeeping.
int32_t knownEnd = -1;
CHARFORMATA endFormat;
bool endFormatKnown;

// What the task thread has written and the pane has not shown yet, in
// order. The task thread never waits for the pane's thread: it queues its
// text and the ends of its output blocks here and posts one wake-up, and the
// pane's thread carries them out when it takes the wake-up, or before
// anything else it does with the pane, so every reader sees the pane whole.
enum QueuedKind : uint8_t { QUEUED_TEXT, QUEUED_BLOCK_START, QUEUED_BLOCK_END, QUEUED_RECYCLE };

struct QueuedStep {
    QueuedKind kind;
    // QUEUED_TEXT: the entry whose text it is, only compared, so that
    // consecutive texts of one entry become one write. Every block starts
    // with a step of another kind, so the texts of two jobs never run
    // together.
    const FingerEntry* textOf;
    // The other kinds: the entry whose block position is taken, or whose old
    // block goes; null for a temporary entry, which is freed once its job
    // ends, and for an entry deleted meanwhile.
    FingerEntry* blockOf;
    CHARFORMATA format;
    std::string text;
};

struct WriteQueue {
    std::vector<QueuedStep> steps;
    size_t bytes;
    // The steps the task thread has asked to be shown: the wake-up carries
    // out these and leaves the start of the next block for its own wake-up,
    // so that a block is mostly written whole.
    size_t toShow;
    // A wake-up is on its way to the pane's thread.
    bool posted;
    // The task thread waits for the pane to take the queue.
    bool writerWaiting;
};

WriteQueue writeQueue;
// Something is queued; every message to the pane looks at it without the lock.
std::atomic<bool> queuedHint{false};
// The task thread waits once the queue holds this much text until the pane
// has taken it: a pane that cannot keep up, or a print job that holds it,
// must not make the queue grow without end.
constexpr size_t QUEUE_BYTES_LIMIT = 4u << 20;
// Pane thread: the queue is being carried out.
bool carryingOutQueue;

SharedLock& QueueLock()
{
    static SharedLock lock;
    return lock;
}

// Set whenever the pane's thread has taken the queue. Made at first use and
// kept for the life of the process.
HANDLE QueueTakenEvent()
{
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// Pane thread: characters after the last line end at the end of the pane, as
// counted by the plain writes at the end; any other change, or setting the
// whole text, starts it again at 0.
uint32_t endColumn;

// One write into the pane: the text replaces the target range.
struct PaneWrite {
    // The format the text takes; null keeps the format there (rich text
    // brings its own, a deletion needs none).
    const CHARFORMATA* format;
    const char* text;
    uint32_t length;
    // SF_TEXT or SF_RTF.
    WPARAM kind;
    // {-1, -1}: the end of the pane.
    CHARRANGE target;
    // Out: how many characters the text replaced.
    int32_t replaced;
};

// Bytes still to hand to the control during one EM_STREAMIN.
struct StreamSource {
    const char* next;
    uint32_t remaining;
};

DWORD CALLBACK StreamFromSource(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG* delivered)
{
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    uint32_t count = source->remaining;
    if (requested >= 0 && count > static_cast<uint32_t>(requested))
        count = static_cast<uint32_t>(requested);
    memcpy(buffer, source->next, count);
    source->next += count;
    source->remaining -= count;
    *delivered = static_cast<LONG>(count);
    return 0;
}

// Streams counted bytes into the selection in the given format.
void StreamIntoSelection(const char* text, uint32_t length, WPARAM format)
{
    StreamSource source = {text, length};
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = StreamFromSource;
    SendMessageA(OutputWindow, EM_STREAMIN, format | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
}

DWORD CALLBACK StreamToFile(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* written)
{
    DWORD done = 0;
    BOOL ok = WriteFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(count), &done, nullptr);
    *written = static_cast<LONG>(done);
    return (ok && done == static_cast<DWORD>(count)) ? 0 : 1;
}

CHARRANGE Selection()
{
    CHARRANGE range = {0, 0};
    SendMessageA(OutputWindow, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range;
}

// Replacing the selection costs the control less than a stream of the same
// text.
void ReplaceSelection(const char* text)
{
    SendMessageA(OutputWindow, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

bool IsControlByte(char byte)
{
    return static_cast<unsigned char>(byte) < 0x20 && byte != '\t' && byte != '\r' && byte != '\n';
}

// Fills piece with the pane's copy of the start of text, up to about
// PLAIN_PIECE_BYTES: control bytes become the stand-in and over-long lines
// are broken. A CR is never parted from the LF after it. Returns how many
// bytes of text the piece shows.
uint32_t MakeDisplayPiece(const char* text, uint32_t length, std::string& piece)
{
    piece.clear();
    uint32_t used = 0;
    while (used < length && (piece.size() < PLAIN_PIECE_BYTES || (piece.back() == '\r' && text[used] == '\n'))) {
        const char byte = text[used++];
        if (byte == '\r' || byte == '\n') {
            endColumn = 0;
            piece += byte;
            continue;
        }
        if (endColumn == DISPLAY_LINE_LIMIT) {
            piece += '\n';
            endColumn = 0;
        }
        ++endColumn;
        piece += IsControlByte(byte) ? CONTROL_STAND_IN : byte;
    }
    return used;
}

// Puts counted plain text into the selection, in pieces; empty text removes
// the selection.
void InsertPlainText(const char* text, uint32_t length)
{
    std::string piece;
    do {
        const uint32_t used = MakeDisplayPiece(text, length, piece);
        ReplaceSelection(piece.c_str());
        text += used;
        length -= used;
    } while (length > 0);
}

// Pane thread: painting comes back, with the scroll asked for meanwhile.
void RepaintPane()
{
    if (paintingHeld) {
        SendMessageA(OutputWindow, WM_SETREDRAW, TRUE, 0);
        paintingHeld = false;
    }
    if (scrollWanted.exchange(false))
        SendMessageA(OutputWindow, EM_SCROLLCARET, 0, 0);
    RedrawWindow(OutputWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
}

void CALLBACK RefreshPane(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(nullptr, refreshTimer);
    refreshTimer = 0;
    RepaintPane();
}

void CancelPaneRefresh()
{
    if (refreshTimer) {
        KillTimer(nullptr, refreshTimer);
        refreshTimer = 0;
    }
    paintingHeld = false;
}

// Pane thread: the text changed while the pane did not paint; it is painted
// when the pending repaint is due.
void SchedulePaneRefresh()
{
    if (!refreshTimer)
        refreshTimer = SetTimer(nullptr, 0, PANE_REFRESH_MS, RefreshPane);
    if (!refreshTimer)
        RepaintPane();
}

void CarryOutQueue(bool whole);

// Pane thread: the write itself, after what the task thread has queued. The
// caller holds OutputMutex.
void CarryOutWrite(PaneWrite& write)
{
    if (!carryingOutQueue)
        CarryOutQueue(true);
    // Painting stays off until the pending repaint, which is never more than
    // a moment away, so the pane never stays hidden while a writer waits.
    const bool shown = (GetWindowLongA(OutputWindow, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown && !paintingHeld) {
        SendMessageA(OutputWindow, WM_SETREDRAW, FALSE, 0);
        paintingHeld = true;
    }
    const bool atEnd = write.target.cpMin == -1;
    if (!atEnd || knownEnd < 0) {
        SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&write.target));
        const CHARRANGE selected = Selection();
        write.replaced = selected.cpMax - selected.cpMin;
        endFormatKnown = false;
    }
    const bool sameFormat = endFormatKnown && write.format && memcmp(write.format, &endFormat, sizeof endFormat) == 0;
    if (write.format && !sameFormat)
        SendMessageA(OutputWindow, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(write.format));
    if (write.kind == SF_TEXT)
        InsertPlainText(write.text, write.length);
    else
        StreamIntoSelection(write.text, write.length, write.kind);
    if (!atEnd || write.kind != SF_TEXT)
        endColumn = 0;
    // Plain text replacing nothing at the end leaves the caret at the end.
    if (atEnd && write.kind != SF_TEXT)
        MoveCaretToEnd();
    if (paintingHeld)
        SchedulePaneRefresh();
    if (!atEnd)
        return;
    knownEnd = Selection().cpMax;
    endFormatKnown = write.kind == SF_TEXT && (write.format || endFormatKnown);
    if (write.format)
        endFormat = *write.format;
}

// Any thread but the task thread: hands the write to the pane's thread and
// waits for it.
void WriteToPane(const FingerEntry* entry, const char* text, uint32_t length, WPARAM kind)
{
    CHARFORMATA format;
    if (entry)
        BuildCharFormat(format, entry);
    PaneWrite write = {entry ? &format : nullptr, text, length, kind, {-1, -1}, 0};
    LockOutput();
    SendMessageA(OutputWindow, WM_PANE_WRITE, 0, reinterpret_cast<LPARAM>(&write));
    UnlockOutput();
}

// Pane thread: the end of the pane, where the caret is left.
int32_t PaneEnd()
{
    if (knownEnd < 0) {
        MoveCaretToEnd();
        knownEnd = Selection().cpMax;
    }
    return knownEnd;
}

// Pane thread: removes the entry's previous block before its new one and
// moves the blocks after it. Only a block that really lies in the pane is
// removed: positions left over from a run without recycling must never cut
// into other output.
void RemoveOldBlock(FingerEntry* entry)
{
    const int32_t start = entry->outputStart;
    const int32_t end = entry->outputEnd;
    if (start < 0 || end <= start)
        return;
    PaneWrite removal = {nullptr, "", 0, SF_TEXT, {start, end}, 0};
    CarryOutWrite(removal);
    const int32_t removed = removal.replaced;
    if (removed <= 0)
        return;
    LockEntryList();
    for (FingerEntry* other = EntryList.head; other; other = other->next) {
        if (other == entry || other->outputStart <= start)
            continue;
        other->outputStart -= removed;
        other->outputEnd -= removed;
        if (other->outputStart < 0) {
            other->outputStart = 0;
            other->outputEnd = 0;
        }
    }
    UnlockEntryList();
}

// Pane thread, holding OutputMutex: carries out the queued steps in order,
// all of them or those the task thread has asked to be shown.
void CarryOutQueue(bool whole)
{
    if (!queuedHint)
        return;
    std::vector<QueuedStep> steps;
    bool wake = false;
    {
        std::lock_guard<SharedLock> hold(QueueLock());
        std::vector<QueuedStep>& queued = writeQueue.steps;
        const auto end = queued.begin() + static_cast<std::ptrdiff_t>(whole ? queued.size() : writeQueue.toShow);
        steps.assign(std::make_move_iterator(queued.begin()), std::make_move_iterator(end));
        queued.erase(queued.begin(), end);
        for (const QueuedStep& step : steps)
            writeQueue.bytes -= step.text.size();
        writeQueue.toShow = 0;
        writeQueue.posted = false;
        queuedHint = !queued.empty();
        wake = writeQueue.writerWaiting;
    }
    if (HANDLE taken = QueueTakenEvent(); taken && wake)
        SetEvent(taken);
    carryingOutQueue = true;
    for (QueuedStep& step : steps) {
        switch (step.kind) {
        case QUEUED_TEXT: {
            PaneWrite write = {&step.format, step.text.data(), static_cast<uint32_t>(step.text.size()), SF_TEXT,
                               {-1, -1}, 0};
            CarryOutWrite(write);
            break;
        }
        case QUEUED_BLOCK_START:
            if (step.blockOf)
                step.blockOf->outputStart = PaneEnd();
            break;
        case QUEUED_BLOCK_END:
            if (step.blockOf)
                step.blockOf->outputEnd = PaneEnd();
            break;
        case QUEUED_RECYCLE:
            if (step.blockOf)
                RemoveOldBlock(step.blockOf);
            break;
        }
    }
    carryingOutQueue = false;
}

// Pane thread: carries out the queue unless a thread holds the pane (a print
// job or a search on this thread among them); the holder's release brings
// another wake-up.
void CarryOutQueueIfFree(bool whole)
{
    if (carryingOutQueue || !queuedHint || !TryTakeLock(OutputMutex))
        return;
    CarryOutQueue(whole);
    ReleaseLock(OutputMutex);
}

void QueueStep(QueuedStep step)
{
    std::lock_guard<SharedLock> hold(QueueLock());
    std::vector<QueuedStep>& steps = writeQueue.steps;
    writeQueue.bytes += step.text.size();
    if (step.kind == QUEUED_TEXT && !steps.empty() && steps.back().kind == QUEUED_TEXT &&
        steps.back().textOf == step.textOf)
        steps.back().text += step.text;
    else
        steps.push_back(std::move(step));
    queuedHint = true;
}

// Task thread: a position to take, or an old block to remove, in turn.
void QueueBlockStep(QueuedKind kind, FingerEntry* entry)
{
    QueueStep({kind, nullptr, (entry->flags & FE_TEMPORARY) ? nullptr : entry, {}, {}});
}

// Task thread: whether the queue holds too much, the pane's thread being
// asked to set the event when it takes the queue while it does.
bool WaitingForRoom()
{
    std::lock_guard<SharedLock> hold(QueueLock());
    writeQueue.writerWaiting = writeQueue.bytes >= QUEUE_BYTES_LIMIT;
    return writeQueue.writerWaiting;
}

// Drops the queue of a pane that is going.
void DropQueue()
{
    {
        std::lock_guard<SharedLock> hold(QueueLock());
        writeQueue.steps.clear();
        writeQueue.bytes = 0;
        writeQueue.toShow = 0;
        writeQueue.posted = false;
        queuedHint = false;
    }
    if (HANDLE taken = QueueTakenEvent())
        SetEvent(taken);
}

// Messages that neither move the caret nor change the text, so the known end
// stays known. A move of the mouse with a button down may extend a selection.
bool KeepsCaretAndText(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_PAINT:
    case WM_NCPAINT:
    case WM_ERASEBKGND:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_GETTEXTLENGTH:
    case EM_EXGETSEL:
    case EM_SCROLLCARET:
    case WM_PANE_SCROLL:
    case WM_PANE_QUEUED:
        return true;
    case WM_MOUSEMOVE:
        return (wParam & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) == 0;
    default:
        return false;
    }
}

// Messages that read or change the text or the selection, which must find
// what the task thread has queued in the pane first.
bool NeedsWholeText(UINT message)
{
    constexpr UINT OLD_EDIT_FIRST = 0x00B0;
    constexpr UINT OLD_EDIT_LAST = 0x00FF;
    return (message >= OLD_EDIT_FIRST && message <= OLD_EDIT_LAST) ||
           (message >= WM_USER && message < WM_APP) || message == WM_GETTEXT || message == WM_GETTEXTLENGTH ||
           message == WM_SETTEXT || (message >= WM_CUT && message <= WM_CLEAR) || message == WM_PANE_QUEUED;
}

bool IsOutputCommand(WORD id)
{
    return (id >= IDM_OUTPUT_CLEAR && id <= IDM_OUTPUT_SAVE) || id == IDM_OUTPUT_COPY;
}

void ShowOutputMenu(HWND pane, LPARAM position)
{
    POINT point = {static_cast<LONG>(LOWORD(position)), static_cast<LONG>(HIWORD(position))};
    ClientToScreen(pane, &point);
    if (outputMenu)
        TrackPopupMenu(outputMenu, 0, point.x, point.y, 0, pane, nullptr);
}

LRESULT CALLBACK OutputPaneProcedure(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (NeedsWholeText(message))
        CarryOutQueueIfFree(message != WM_PANE_QUEUED);
    if (!KeepsCaretAndText(message, wParam))
        knownEnd = -1;
    switch (message) {
    case WM_COMMAND:
        if (IsOutputCommand(LOWORD(wParam))) {
            PostMessageA(GetParent(pane), WM_COMMAND, wParam, lParam);
            return 0;
        }
        break;
    case WM_RBUTTONUP:
        ShowOutputMenu(pane, lParam);
        return 0;
    case WM_PANE_WRITE:
        CarryOutWrite(*reinterpret_cast<PaneWrite*>(lParam));
        return 0;
    case WM_PANE_QUEUED:
        return 0;
    case WM_PANE_SCROLL:
        scrollPosted = false;
        if (!refreshTimer && scrollWanted.exchange(false))
            SendMessageA(OutputWindow, EM_SCROLLCARET, 0, 0);
        return 0;
    case WM_SETTEXT:
        endColumn = 0;
        break;
    case WM_DESTROY:
        DropQueue();
        CancelPaneRefresh();
        break;
    }
    return CallWindowProcA(previousPaneProcedure, pane, message, wParam, lParam);
}

void FillSaveDialog(HWND mainWindow)
{
    ZeroMemory(&OutputSaveDialog, sizeof OutputSaveDialog);
    OutputSaveDialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    OutputSaveDialog.hwndOwner = mainWindow;
    OutputSaveDialog.hInstance = GetModuleHandleA(nullptr);
    OutputSaveDialog.lpstrFilter = "Rich Text Format (*.rtf)\0*.rtf\0Plain Text (*.txt)\0*.txt\0";
    OutputSaveDialog.nFilterIndex = 1;
    OutputSaveDialog.lpstrFile = Settings.outputPath;
    OutputSaveDialog.nMaxFile = sizeof Settings.outputPath;
    OutputSaveDialog.lpstrTitle = "Save output as";
    OutputSaveDialog.Flags = OFN_EXPLORER | OFN_NOREADONLYRETURN | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                             OFN_OVERWRITEPROMPT;
    OutputSaveDialog.lpstrDefExt = "rtf";
}

}

HWND CreateOutputWindow(HWND mainWindow)
{
    RECT client;
    GetClientRect(mainWindow, &client);
    int height = client.bottom - client.top;
    HWND pane = CreateWindowExA(0, "RichEdit", "",
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                                    WS_GROUP | ES_SELECTIONBAR | ES_READONLY | ES_NOHIDESEL | ES_AUTOHSCROLL |
                                    ES_AUTOVSCROLL | ES_MULTILINE,
                                client.left, height / 2, client.right - client.left, height / 2, mainWindow,
                                reinterpret_cast<HMENU>(IDC_OUTPUT_PANE), GetModuleHandleA(nullptr), nullptr);
    if (!pane) {
        ShowMessageBox("Couldn't create RichEdit control", "Error");
        return nullptr;
    }
    SendMessageA(pane, EM_EXLIMITTEXT, 0, PANE_TEXT_LIMIT);
    // The pane is read-only, so it needs no undo. A control that keeps undo
    // records of what is written takes many times as long for text of many
    // short lines; older controls ignore the message.
    SendMessageA(pane, EM_SETUNDOLIMIT, 0, 0);
    OutputWindow = pane;
    endColumn = 0;
    knownEnd = -1;
    FillSaveDialog(mainWindow);
    ResetFindState();
    previousPaneProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OutputPaneProcedure)));
    return pane;
}

void LockOutput()
{
    TakeLock(OutputMutex);
}

void UnlockOutput()
{
    ReleaseLock(OutputMutex);
    // What was queued while the pane was held comes now.
    if (queuedHint && OutputWindow)
        PostMessageA(OutputWindow, WM_PANE_QUEUED, 0, 0);
}

void MoveCaretToEnd()
{
    CHARRANGE end = {-1, -1};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
}

void ScrollToCaret()
{
    // A writer on another thread need not wait for the scroll: the pane's
    // thread scrolls when it takes the request from its queue, or with the
    // repaint that a write has made pending.
    if (GetWindowThreadProcessId(OutputWindow, nullptr) == GetCurrentThreadId()) {
        SendMessageA(OutputWindow, EM_SCROLLCARET, 0, 0);
        return;
    }
    scrollWanted = true;
    if (!scrollPosted.exchange(true))
        PostMessageA(OutputWindow, WM_PANE_SCROLL, 0, 0);
}

void JumpToEntryOutput(const FingerEntry* entry)
{
    ShowQueuedOutput();
    CHARRANGE start = {entry->outputStart, entry->outputStart};
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
}

void BuildCharFormat(CHARFORMATA& format, const FingerEntry* entry)
{
    ZeroMemory(&format, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    if (entry->font.lfWeight >= FW_BOLD)
        format.dwEffects |= CFE_BOLD;
    if (entry->font.lfItalic)
        format.dwEffects |= CFE_ITALIC;
    if (entry->font.lfUnderline)
        format.dwEffects |= CFE_UNDERLINE;
    if (entry->font.lfStrikeOut)
        format.dwEffects |= CFE_STRIKEOUT;
    format.yHeight = static_cast<LONG>(entry->points * 2);
    format.crTextColor = entry->colour;
    format.bCharSet = entry->font.lfCharSet;
    format.bPitchAndFamily = entry->font.lfPitchAndFamily;
    snprintf(format.szFaceName, sizeof format.szFaceName, "%s", entry->font.lfFaceName);
}

void AppendText(const char* text)
{
    WriteToPane(nullptr, text, static_cast<uint32_t>(strlen(text)), SF_TEXT);
}

void AppendEntryText(const FingerEntry* entry, const char* text)
{
    WriteToPane(entry, text, static_cast<uint32_t>(strlen(text)), SF_TEXT);
}

int StreamBufferToOutput(const FingerEntry* entry, const char* buffer, uint32_t length)
{
    WriteToPane(entry, buffer, length, entry ? SF_TEXT : SF_RTF);
    return 0;
}

void SetOutputMenu(HMENU menu)
{
    outputMenu = menu;
}

void HoldEntryText(const FingerEntry* entry, const char* text, uint32_t length)
{
    QueuedStep step = {QUEUED_TEXT, entry, nullptr, {}, std::string(text, length)};
    BuildCharFormat(step.format, entry);
    QueueStep(std::move(step));
}

void WriteHeldText()
{
    if (GetWindowThreadProcessId(OutputWindow, nullptr) == GetCurrentThreadId()) {
        ShowQueuedOutput();
        return;
    }
    bool post = false;
    {
        std::lock_guard<SharedLock> hold(QueueLock());
        writeQueue.toShow = writeQueue.steps.size();
        post = !writeQueue.steps.empty() && !writeQueue.posted;
        writeQueue.posted = writeQueue.posted || post;
    }
    if (post && !PostMessageA(OutputWindow, WM_PANE_QUEUED, 0, 0)) {
        std::lock_guard<SharedLock> hold(QueueLock());
        writeQueue.posted = false;
    }
    while (WaitingForRoom() && IsWindow(OutputWindow)) {
        HANDLE taken = QueueTakenEvent();
        if (!taken || WaitForSingleObject(taken, 100) == WAIT_FAILED)
            Sleep(100);
    }
}

void ShowQueuedOutput()
{
    if (OutputWindow)
        CarryOutQueueIfFree(true);
}

void ForgetQueuedEntry(const FingerEntry* entry)
{
    std::lock_guard<SharedLock> hold(QueueLock());
    for (QueuedStep& step : writeQueue.steps) {
        if (step.blockOf == entry)
            step.blockOf = nullptr;
    }
}

void BeginEntryOutput(FingerEntry* entry)
{
    InterlockedExchange(&entryOutputOpen, 1);
    if (entry->flags & FE_RECYCLE_OUTPUT)
        QueueBlockStep(QUEUED_RECYCLE, entry);
    QueueBlockStep(QUEUED_BLOCK_START, entry);
}

void EndEntryOutput(FingerEntry* entry)
{
    if (entry->flags & FE_RECYCLE_OUTPUT)
        QueueBlockStep(QUEUED_BLOCK_END, entry);
    WriteHeldText();
    InterlockedExchange(&entryOutputOpen, 0);
}

void ClearOutput()
{
    if (entryOutputOpen) {
        ShowMessageBox("Cannot clear the output window while a job is being processed", "Clear Output");
        return;
    }
    ShowQueuedOutput();
    LockOutput();
    SetWindowTextA(OutputWindow, "");
    UnlockOutput();
    LockEntryList();
    for (FingerEntry* entry = EntryList.head; entry; entry = entry->next) {
        entry->outputStart = 0;
        entry->outputEnd = 0;
    }
    UnlockEntryList();
}

void SaveOutput()
{
    if (!GetSaveFileNameA(&OutputSaveDialog))
        return;
    const WPARAM format = OutputSaveDialog.nFilterIndex == 1 ? SF_RTF : SF_TEXT;
    LockOutput();
    HANDLE file = CreateFileA(Settings.outputPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        EDITSTREAM stream = {};
        stream.dwCookie = reinterpret_cast<DWORD_PTR>(file);
        stream.pfnCallback = StreamToFile;
        SendMessageA(OutputWindow, EM_STREAMOUT, format, reinterpret_cast<LPARAM>(&stream));
        CloseHandle(file);
    }
    SendMessageA(OutputWindow, EM_SETMODIFY, FALSE, 0);
    UnlockOutput();
}

void CopyOutput()
{
    SendMessageA(OutputWindow, WM_COPY, 0, 0);
}
