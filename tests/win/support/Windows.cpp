#include "WinTestSupport.h"

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

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(10);
    }
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

} // namespace qxtest
