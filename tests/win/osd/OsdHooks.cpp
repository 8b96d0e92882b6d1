// Hooks that the tests set across processes: one refuses to create Vistrel's
// notice windows (a notice window that cannot be created), one reports every
// hand-over message in the order the display takes it from its queue, one
// holds the display a moment when its time is up, as a busy machine would,
// and one refuses the resident program's marker window.
#include <windows.h>

#include <cwchar>

namespace {

bool InVistrel() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* name = wcsrchr(path, L'\\');
    return _wcsicmp(name ? name + 1 : path, L"Vistrel.exe") == 0;
}

// A notice window: a disabled popup; the main window clips its siblings.
bool IsNoticeWindow(const CREATESTRUCTW& create) {
    const LONG style = create.style;
    return (style & WS_POPUP) && (style & WS_DISABLED) && !(style & WS_CLIPSIBLINGS);
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    RefuseNoticeWindows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && InVistrel()) {
        const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        if (IsNoticeWindow(*create->lpcs))
            return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Reports to the window of class "OsdHandOverRecorder" as WM_APP with wParam
// the display's process id shifted left by 8 bits plus the command, lParam
// the level.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    ReportHandOver(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_CLOSE && InVistrel()) {
        if (const HWND recorder = FindWindowW(L"OsdHandOverRecorder", nullptr))
            PostMessageW(recorder, WM_APP,
                         static_cast<WPARAM>(GetCurrentProcessId()) << 8 | (message->wParam & 0xFF),
                         message->lParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The marker is the window titled with the resident program's instance GUID.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    RefuseResidentMarker(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const wchar_t* title = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->lpszName;
        if (title && !IS_INTRESOURCE(title) &&
            wcscmp(title, L"C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3") == 0)
            return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Signals the event "QX test display ending" when the display takes its end
// timer from the queue, then holds its thread for a fifth of a second before
// the display acts on it.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    SlowDisplayEnd(int code, WPARAM wParam, LPARAM lParam) {
    constexpr UINT_PTR kEndTimer = 1000;
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_TIMER &&
        message->wParam == kEndTimer && InVistrel()) {
        if (const HANDLE ending =
                OpenEventW(EVENT_MODIFY_STATE, FALSE, L"QX test display ending")) {
            SetEvent(ending);
            CloseHandle(ending);
        }
        Sleep(200);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
