#include "WinTestSupport.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace qxtest {

std::wstring Wide(const char* utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring text(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), length);
    text.resize(length - 1);
    return text;
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    } while (true);
}

namespace {

bool WaitPolling(const std::function<bool()>& condition, DWORD timeoutMs,
                 void (*pause)(DWORD milliseconds)) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        pause(10);
    }
}

void SleepWithoutMessages(DWORD milliseconds) {
    Sleep(milliseconds);
}

} // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    return WaitPolling(condition, timeoutMs, PumpMessages);
}

bool WaitWithoutMessages(const std::function<bool()>& condition, DWORD timeoutMs) {
    return WaitPolling(condition, timeoutMs, SleepWithoutMessages);
}

HWND WaitForWindow(const wchar_t* title, const wchar_t* className, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowW(className, title)) != nullptr; }, timeoutMs);
    return found;
}

namespace {

struct ProcessWindowSearch {
    DWORD processId;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
    return TRUE;
}

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<ProcessWindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    if (search->title && WindowText(window) != search->title)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

HWND WaitForProcessWindow(DWORD processId, const wchar_t* title, DWORD timeoutMs) {
    ProcessWindowSearch search = {processId, title, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool PaintPending(DWORD processId) {
    const auto needsPaint = [](HWND window) { return GetUpdateRect(window, nullptr, FALSE); };
    for (const HWND window : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != processId || !IsWindowVisible(window))
            continue;
        const std::vector<HWND> controls = ChildWindows(window);
        if (needsPaint(window) || std::any_of(controls.begin(), controls.end(), needsPaint))
            return true;
    }
    return false;
}

HWND FocusOnThreadOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return thread && GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return WaitUntil([&] { return !IsWindow(window); }, timeoutMs);
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = L"";
    // WM_GETTEXT rather than GetWindowText, which does not read other processes' controls.
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    text[std::size(text) - 1] = L'\0';
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, std::size(name));
    return name;
}

std::wstring DialogItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

void ClickButton(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void TypeText(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (const wchar_t c : text) {
        INPUT key = {};
        key.type = INPUT_KEYBOARD;
        key.ki.wScan = c;
        key.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(key);
        key.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(key);
    }
    ASSERT_EQ(inputs.size(),
              SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)));
}

ForegroundRecorder::ForegroundRecorder()
    : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_thread(CreateThread(nullptr, 0, Record, this, 0, nullptr)) {}

ForegroundRecorder::~ForegroundRecorder() {
    Stop();
    CloseHandle(m_thread);
    CloseHandle(m_stop);
}

std::set<HWND> ForegroundRecorder::Stop() {
    SetEvent(m_stop);
    WaitForSingleObject(m_thread, 5000);
    return m_seen;
}

DWORD WINAPI ForegroundRecorder::Record(void* self) {
    auto* recorder = static_cast<ForegroundRecorder*>(self);
    do {
        recorder->m_seen.insert(GetForegroundWindow());
    } while (WaitForSingleObject(recorder->m_stop, 5) == WAIT_TIMEOUT);
    return 0;
}

} // namespace qxtest
