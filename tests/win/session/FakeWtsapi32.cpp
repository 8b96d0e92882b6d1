// Stand-in for the session service library, for what Wine's own cannot show:
// which calls the session-switch library makes, refused registrations, a
// refused unregistration and a missing function (WITHOUT_REGISTER,
// WITHOUT_UNREGISTER).
#include "tests/win/session/ClientProtocol.h"

#include <cstdlib>
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
// Refuses as many registrations as the environment asks, then accepts.
extern "C" __declspec(dllexport) BOOL WINAPI
    WTSRegisterSessionNotification(HWND window, DWORD flags) {
    static int refusalsLeft =
        _wtoi(Environment(lqnclient::kFakeRefusedRegistrationsVariable).c_str());
    const bool refuse = refusalsLeft > 0;
    if (refuse)
        --refusalsLeft;
    AppendToLog("register " + WindowNumber(window) + " " + std::to_string(flags) +
                (refuse ? " refused" : ""));
    return refuse ? FALSE : TRUE;
}
#endif

#ifndef WITHOUT_UNREGISTER
// Refuses as many unregistrations as the environment asks, then accepts; logs
// whether the window still existed: a registration must not outlive it.
extern "C" __declspec(dllexport) BOOL WINAPI WTSUnRegisterSessionNotification(HWND window) {
    static int refusalsLeft =
        _wtoi(Environment(lqnclient::kFakeRefusedUnregistrationsVariable).c_str());
    const bool refuse = refusalsLeft > 0;
    if (refuse)
        --refusalsLeft;
    AppendToLog("unregister " + WindowNumber(window) + (IsWindow(window) ? " live" : " gone") +
                (refuse ? " refused" : ""));
    return refuse ? FALSE : TRUE;
}
#endif
