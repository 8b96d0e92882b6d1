// Stand-in for the session service library, for what Wine's own cannot show:
// which calls the session-switch library makes, a refused unregistration and
// a missing function (WITHOUT_REGISTER, WITHOUT_UNREGISTER).
#include "tests/win/session/ClientProtocol.h"

#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

void AppendToLog(const std::string& line) {
    const std::wstring path = Environment(lqnclient::kFakeLogVariable);
    if (!path.empty())
        lqnclient::AppendLogLine(path, line);
}

std::string WindowNumber(HWND window) {
    return std::to_string(reinterpret_cast<ULONG_PTR>(window));
}

} // namespace

#ifndef WITHOUT_REGISTER
extern "C" __declspec(dllexport) BOOL WINAPI
    WTSRegisterSessionNotification(HWND window, DWORD flags) {
    AppendToLog("register " + WindowNumber(window) + " " + std::to_string(flags));
    return TRUE;
}
#endif

#ifndef WITHOUT_UNREGISTER
// Logs whether the window still existed: a registration must not outlive it.
extern "C" __declspec(dllexport) BOOL WINAPI WTSUnRegisterSessionNotification(HWND window) {
    const bool refuse = Environment(lqnclient::kFakeUnregisterVariable) == L"fail";
    AppendToLog("unregister " + WindowNumber(window) + (IsWindow(window) ? " live" : " gone") +
                (refuse ? " refused" : ""));
    return refuse ? FALSE : TRUE;
}
#endif
