// A client of the session-switch library for the tests. Like the resident
// program it calls the exports on its one user-interface thread, which also
// owns the target window; every message that reaches the target is logged.
// Command line: <log file> [<folder searched for Wtsapi32.dll>]
#include "session/Lqnmod.h"
#include "tests/win/session/ClientProtocol.h"

#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace lqnclient;

namespace {

constexpr LONG_PTR kCanaryMark = 0x5EC0DE;

std::wstring g_logPath;
HWND g_target = nullptr;
HWND g_canary = nullptr;
Reentry g_reentry = REENTER_NONE;
std::vector<void*> g_filledBlocks;

void AppendToLog(const std::string& line) {
    AppendLogLine(g_logPath, line);
}

bool IsClientMessage(UINT message) {
    return message == WM_POWERBROADCAST || (message >= WM_USER && message < 0xC000);
}

// Blocks of every small size, as a freed object's memory is handed out again,
// each word holding the canary's handle. Kept until the client ends.
void FillFreshBlocksWithCanary() {
    for (std::size_t size = sizeof(HWND); size <= 512; size += sizeof(HWND)) {
        for (int copy = 0; copy < 8; ++copy) {
            auto* block = static_cast<HWND*>(std::malloc(size));
            if (!block)
                return;
            for (std::size_t i = 0; i < size / sizeof(HWND); ++i)
                block[i] = g_canary;
            g_filledBlocks.push_back(block);
        }
    }
}

void Reenter() {
    switch (std::exchange(g_reentry, REENTER_NONE)) {
    case REENTER_NONE:
        return;
    case REENTER_CLOSE:
        LoquenClose();
        AppendToLog("reentered close");
        break;
    case REENTER_INIT:
        AppendToLog("reentered init " + std::to_string(LoquenInit(g_target)));
        break;
    }
    FillFreshBlocksWithCanary();
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsClientMessage(message)) {
        AppendToLog("message " + std::to_string(message) + " " + std::to_string(wParam) + " " +
                    std::to_string(lParam));
        Reenter();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT SetMsgParams(const COPYDATASTRUCT& data) {
    if (data.dwData != kSetMsgParams || data.cbData != sizeof(MsgParams))
        return -1;
    const auto* p = static_cast<const MsgParams*>(data.lpData);
    return LoquenSetMsgParams(p->msgA, p->wParamA, p->lParamA, p->msgB, p->wParamB, p->lParamB);
}

LRESULT CALLBACK RefuseWindow(int code, WPARAM wParam, LPARAM lParam) {
    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

int Init(WPARAM window) {
    if (window != INIT_REFUSING_WINDOWS)
        return LoquenInit(window == INIT_TARGET_WINDOW ? g_target : nullptr);
    HHOOK refusal = SetWindowsHookExW(WH_CBT, RefuseWindow, nullptr, GetCurrentThreadId());
    if (!refusal)
        return -2;
    const int result = LoquenInit(g_target);
    UnhookWindowsHookEx(refusal);
    return result;
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case CMD_INIT:
        return Init(wParam);
    case CMD_CLOSE:
        LoquenClose();
        return 0;
    case CMD_PLATFORM:
        return GetPlatformVersion();
    case CMD_SESSION_LIBRARY_LOADED:
        return GetModuleHandleA("wtsapi32.dll") != nullptr;
    case CMD_REENTER:
        g_reentry = static_cast<Reentry>(wParam);
        return 0;
    case CMD_CANARY_INTACT:
        return GetWindowLongPtrW(g_canary, 0) == kCanaryMark;
    case WM_COPYDATA:
        return SetMsgParams(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND CreateHiddenWindow(HINSTANCE instance, const wchar_t* className, WNDPROC procedure,
                        const wchar_t* title, int extraBytes = 0) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = extraBytes;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    return CreateWindowW(className, title, WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                         instance, nullptr);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2)
        return 2;
    g_logPath = arguments[1];
    if (count >= 3)
        SetDllDirectoryW(arguments[2]);
    LocalFree(arguments);
    SetEnvironmentVariableW(kFakeLogVariable, g_logPath.c_str());

    g_target = CreateHiddenWindow(instance, L"LqnmodClientTarget", TargetProc, kTargetTitle);
    // Its first extra word sits where a dialog keeps its message result.
    g_canary = CreateHiddenWindow(instance, L"LqnmodClientCanary", DefWindowProcW, L"canary",
                                  sizeof(LONG_PTR));
    if (g_canary)
        SetWindowLongPtrW(g_canary, 0, kCanaryMark);
    if (!g_target || !g_canary ||
        !CreateHiddenWindow(instance, L"LqnmodClientControl", ControlProc, kControlTitle))
        return 3;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
