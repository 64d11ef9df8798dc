#include "support/test_windows.h"

#include <algorithm>
#include <mutex>

struct AnswererState {
    std::mutex mutex;
    UINT_PTR timer = 0;
    std::string caption;
    int buttonId = 0;
    std::vector<AnsweredBox> boxes;
    std::vector<HWND> handled;
};

static AnswererState answerer;

template <typename Get>
static std::string TextOf(Get get, HWND window)
{
    char text[4096];
    const int length = get(window, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

// Boxes and dialogs are of the dialog class; Wine also lists other programs' windows, not ours to answer.
static BOOL CALLBACK AnswerIfBox(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || TextOf(GetClassNameA, window) != "#32770")
        return TRUE;
    // Read before taking the lock: the box may belong to a thread that waits for it.
    AnsweredBox box = {WindowText(window), ""};
    if (HWND text = GetDlgItem(window, 0xFFFF); text != nullptr && TextOf(GetClassNameA, text) == "Static")
        box.text = WindowText(text);
    std::lock_guard<std::mutex> lock(answerer.mutex);
    if (std::find(answerer.handled.begin(), answerer.handled.end(), window) != answerer.handled.end())
        return TRUE;
    answerer.handled.push_back(window);
    int id = answerer.caption.empty() || answerer.caption == box.caption ? answerer.buttonId : IDCANCEL;
    if (!GetDlgItem(window, id)) {
        // OK and Yes accept, Cancel and No decline, whichever the box has.
        static const int choices[2][2] = {{IDOK, IDYES}, {IDCANCEL, IDNO}};
        const int* choice = choices[id == IDCANCEL || id == IDNO];
        id = GetDlgItem(window, choice[0]) ? choice[0] : GetDlgItem(window, choice[1]) ? choice[1] : IDCANCEL;
    }
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    if (id == IDCANCEL)
        PostMessageA(window, WM_CLOSE, 0, 0);
    answerer.boxes.push_back(std::move(box));
    return TRUE;
}

static void CALLBACK LookForBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    EnumWindows(AnswerIfBox, 0);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - elapsed, 10), QS_ALLINPUT);
    }
}

void AnswerBoxes(const char* caption, int buttonId)
{
    StopAnsweringBoxes();
    std::lock_guard<std::mutex> lock(answerer.mutex);
    answerer.caption = caption != nullptr ? caption : "";
    answerer.buttonId = buttonId;
    answerer.boxes.clear();
    answerer.handled.clear();
    answerer.timer = SetTimer(nullptr, 0, 20, LookForBoxes);
}

void StopAnsweringBoxes()
{
    std::lock_guard<std::mutex> lock(answerer.mutex);
    KillTimer(nullptr, answerer.timer);
    answerer.timer = 0;
}

std::vector<AnsweredBox> AnsweredBoxes()
{
    std::lock_guard<std::mutex> lock(answerer.mutex);
    return answerer.boxes;
}

std::string WindowText(HWND window)
{
    return TextOf(GetWindowTextA, window);
}
