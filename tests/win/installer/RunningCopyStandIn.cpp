// Stands in for a running Tarvolt where only the stop request matters: a
// hidden window titled with the instance GUID that ends the process on
// WM_CLOSE with lParam 999 and on nothing else. With "--ignore-close" it
// ignores that request too, like a copy that no longer answers.
#include <windows.h>

#include <cstring>

namespace {

const char kInstanceGuid[] = "C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3";
const LPARAM kCloseRequest = 999;
bool g_ignoreClose = false;

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        if (lParam == kCloseRequest && !g_ignoreClose)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_ignoreClose = std::strstr(commandLine, "--ignore-close") != nullptr;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = StandInProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "QxRunningCopyStandIn";
    if (!RegisterClassA(&windowClass))
        return 1;
    if (!CreateWindowExA(0, windowClass.lpszClassName, kInstanceGuid, WS_POPUP, 0, 0, 10, 10,
                         nullptr, nullptr, instance, nullptr))
        return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
