// Hooks that the tests set across processes: one refuses to create Vistrel's
// notice windows (a notice window that cannot be created), one reports every
// hand-over message in the order the display takes it from its queue, one
// holds the display a moment when its time is up, as a busy machine would,
// one refuses the resident program's marker window, and two note which of
// the resident program's modules asks the shell to open what, and which
// icon records it hands the shell.
#include "framework/Handles.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring ModuleName(HMODULE module) {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(module, path, MAX_PATH);
    const wchar_t* name = wcsrchr(path, L'\\');
    return name ? name + 1 : path;
}

bool InProgram(const wchar_t* exeName) {
    return _wcsicmp(ModuleName(nullptr).c_str(), exeName) == 0;
}

bool InVistrel() {
    return InProgram(L"Vistrel.exe");
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

namespace {

using ShellExecuteAProc = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
using ShellExecuteExAProc = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
using ShellNotifyIconAProc = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAA*);
ShellExecuteAProc g_shellExecute;
ShellExecuteExAProc g_shellExecuteEx;
ShellNotifyIconAProc g_shellNotifyIcon;

// Appends a line to "shell-calls.log" beside the program.
void NoteShellCall(const std::string& line) {
    wchar_t program[MAX_PATH] = L"";
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return;
    std::wstring path(program, length);
    path.erase(path.find_last_of(L'\\') + 1);
    path += L"shell-calls.log";
    const qx::unique_hfile log(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (log)
        WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string CallerName(void* returnAddress) {
    HMODULE caller = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(returnAddress), &caller);
    const std::wstring name = caller ? ModuleName(caller) : L"?";
    return std::string(name.begin(), name.end());
}

HINSTANCE WINAPI NotedShellExecute(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                   LPCSTR directory, INT show) {
    NoteShellCall("ShellExecuteA from " + CallerName(__builtin_return_address(0)) + ": " +
                  (file ? file : "") + "\r\n");
    return g_shellExecute(window, verb, file, parameters, directory, show);
}

BOOL WINAPI NotedShellExecuteEx(SHELLEXECUTEINFOA* info) {
    char mask[16] = "";
    std::snprintf(mask, sizeof mask, "%#lx", info->fMask);
    NoteShellCall("ShellExecuteExA from " + CallerName(__builtin_return_address(0)) + ", mask " +
                  mask + ": " + (info->lpFile ? info->lpFile : "") + "\r\n");
    return g_shellExecuteEx(info);
}

BOOL WINAPI NotedShellNotifyIcon(DWORD message, NOTIFYICONDATAA* data) {
    NoteShellCall("Shell_NotifyIconA " + std::to_string(message) + " size " +
                  std::to_string(data->cbSize) + "\r\n");
    return g_shellNotifyIcon(message, data);
}

// Points every import of the module that resolves to original at replacement.
void Redirect(HMODULE module, void* original, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return;
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
             slot->u1.Function != 0; ++slot) {
            if (reinterpret_cast<void*>(slot->u1.Function) != original)
                continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE,
                                &protection))
                continue;
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
        }
    }
}

// The shell's two open calls and its icon call, noted wherever the resident program or its
// shell-action library makes them; this library then stays loaded for good,
// as the redirected imports lead into it.
void WatchResidentShellCalls() {
    const HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (!shell)
        return;
    g_shellExecute = reinterpret_cast<ShellExecuteAProc>(
        reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteA")));
    g_shellExecuteEx = reinterpret_cast<ShellExecuteExAProc>(
        reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExA")));
    g_shellNotifyIcon = reinterpret_cast<ShellNotifyIconAProc>(
        reinterpret_cast<void*>(GetProcAddress(shell, "Shell_NotifyIconA")));
    if (!g_shellExecute || !g_shellExecuteEx || !g_shellNotifyIcon)
        return;
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&WatchResidentShellCalls), &self);
    for (const HMODULE module : {GetModuleHandleW(nullptr), GetModuleHandleW(L"Corvix.dll")}) {
        if (!module)
            continue;
        Redirect(module, reinterpret_cast<void*>(g_shellExecute),
                 reinterpret_cast<void*>(&NotedShellExecute));
        Redirect(module, reinterpret_cast<void*>(g_shellExecuteEx),
                 reinterpret_cast<void*>(&NotedShellExecuteEx));
        Redirect(module, reinterpret_cast<void*>(g_shellNotifyIcon),
                 reinterpret_cast<void*>(&NotedShellNotifyIcon));
    }
}

// True the one time it starts watching.
bool WatchResidentShellCallsOnce() {
    static LONG watching = 0;
    if (!InProgram(L"Tarvolt.exe") || InterlockedExchange(&watching, 1) != 0)
        return false;
    WatchResidentShellCalls();
    return true;
}

} // namespace

// Once in Tarvolt.exe: redirects its and Corvix.dll's shell calls through
// notes in "shell-calls.log" beside it (one line per call: the function, the
// calling module, for ShellExecuteExA the mask, and the file; for
// Shell_NotifyIconA the message and the record's size), then signals the
// event "QX test shell calls watched".
extern "C" __declspec(dllexport) LRESULT CALLBACK
    WatchShellCalls(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && WatchResidentShellCallsOnce()) {
        if (const qx::unique_handle watched(
                OpenEventW(EVENT_MODIFY_STATE, FALSE, L"QX test shell calls watched"));
            watched)
            SetEvent(watched.get());
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The same notes from the program's first window on, set as a CBT hook
// before it starts: the calls of its start are noted too.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    WatchShellCallsFromStart(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND)
        WatchResidentShellCallsOnce();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
