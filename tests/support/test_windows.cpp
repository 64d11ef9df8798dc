#include "support/test_windows.h"

#include <mutex>
#include <utility>

namespace {

// Handles whatever is waiting; returns when the queue is empty.
void DispatchWaitingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Sleeps up to ms milliseconds, waking as soon as a message arrives.
void WaitForMessages(DWORD ms)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
}

struct AnswererState {
    std::mutex mutex;
    UINT_PTR timer = 0;
    std::string caption;
    std::vector<int> buttonIds;
    size_t nextButton = 0;
    std::vector<AnsweredBox> boxes;
    std::vector<HWND> handled;
};

AnswererState& Answerer()
{
    static AnswererState state;
    return state;
}

std::string ClassName(HWND window)
{
    char name[256];
    int length = GetClassNameA(window, name, sizeof(name));
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

AnsweredBox DescribeBox(HWND box)
{
    AnsweredBox described;
    described.window = box;
    described.owner = GetWindow(box, GW_OWNER);
    described.caption = WindowText(box);
    described.matched = false;
    described.buttonId = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        BoxControl control;
        control.id = GetDlgCtrlID(child);
        control.className = ClassName(child);
        control.text = WindowText(child);
        described.controls.push_back(control);
    }
    // A message box keeps its text in a static control numbered 0xFFFF.
    if (HWND text = GetDlgItem(box, 0xFFFF); text != nullptr && ClassName(text) == "Static")
        described.text = WindowText(text);
    return described;
}

void Answer(HWND box)
{
    AnswererState& state = Answerer();
    AnsweredBox described = DescribeBox(box);
    std::lock_guard<std::mutex> lock(state.mutex);
    for (HWND handled : state.handled)
        if (handled == box)
            return;
    state.handled.push_back(box);
    described.matched = state.caption.empty() || state.caption == described.caption;
    if (described.matched && !state.buttonIds.empty()) {
        size_t index = state.nextButton < state.buttonIds.size() ? state.nextButton : state.buttonIds.size() - 1;
        described.buttonId = state.buttonIds[index];
        ++state.nextButton;
        HWND button = GetDlgItem(box, described.buttonId);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(described.buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    } else if (!described.matched) {
        described.buttonId = IDCANCEL;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    state.boxes.push_back(std::move(described));
}

// Message boxes and dialogs are all of the dialog class; Wine also lists
// other programs' windows, which are not ours to answer.
BOOL CALLBACK AnswerIfBox(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && ClassName(window) == "#32770")
        Answer(window);
    return TRUE;
}

void CALLBACK LookForBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    EnumWindows(AnswerIfBox, 0);
}

}  // namespace

void PumpMessagesFor(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchWaitingMessages();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        WaitForMessages(ms - elapsed);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchWaitingMessages();
        if (done())
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return done();
        DWORD left = timeoutMs - elapsed;
        WaitForMessages(left < 10 ? left : 10);
    }
}

void AnswerBoxes(const char* caption, std::vector<int> buttonIds)
{
    StopAnsweringBoxes();
    AnswererState& state = Answerer();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.caption = caption != nullptr ? caption : "";
    state.buttonIds = std::move(buttonIds);
    state.nextButton = 0;
    state.boxes.clear();
    state.handled.clear();
    state.timer = SetTimer(nullptr, 0, 20, LookForBoxes);
}

void AnswerBoxes(const char* caption, int buttonId)
{
    AnswerBoxes(caption, std::vector<int>{buttonId});
}

void StopAnsweringBoxes()
{
    AnswererState& state = Answerer();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.timer)
        KillTimer(nullptr, state.timer);
    state.timer = 0;
}

std::vector<AnsweredBox> AnsweredBoxes()
{
    AnswererState& state = Answerer();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.boxes;
}

int AnsweredBoxCount()
{
    AnswererState& state = Answerer();
    std::lock_guard<std::mutex> lock(state.mutex);
    return static_cast<int>(state.boxes.size());
}

std::string WindowText(HWND window)
{
    char text[4096];
    int length = GetWindowTextA(window, text, sizeof(text));
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}
