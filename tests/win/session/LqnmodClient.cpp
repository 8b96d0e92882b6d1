// A client of the session-switch library for the tests. Like the resident
// program it calls the exports on its one user-interface thread, which also
// owns the target window; every message that reaches the target is logged.
// Command line: <log file> [<folder searched for Wtsapi32.dll>]
#include "session/Lqnmod.h"
#include "tests/win/session/ClientProtocol.h"

#include <shellapi.h>

#include <string>

using namespace lqnclient;

namespace {

std::wstring g_logPath;
HWND g_target = nullptr;

void AppendToLog(const std::string& line) {
    AppendLogLine(g_logPath, line);
}

bool IsClientMessage(UINT message) {
    return message == WM_POWERBROADCAST || (message >= WM_USER && message < 0xC000);
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsClientMessage(message)) {
        AppendToLog("message " + std::to_string(message) + " " + std::to_string(wParam) + " " +
                    std::to_string(lParam));
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

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case CMD_INIT:
        return LoquenInit(wParam ? g_target : nullptr);
    case CMD_CLOSE:
        LoquenClose();
        return 0;
    case CMD_PLATFORM:
        return GetPlatformVersion();
    case CMD_SESSION_LIBRARY_LOADED:
        return GetModuleHandleA("wtsapi32.dll") != nullptr;
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
                        const wchar_t* title) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
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
    if (!g_target ||
        !CreateHiddenWindow(instance, L"LqnmodClientControl", ControlProc, kControlTitle))
        return 3;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
