#include "ShellActionApp.h"
#include "ShellActions.h"
#include "WindowsVersion.h"

namespace corvix {

namespace {

bool EnableShutdownPrivilege() {
    qx::unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            token.put()))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        return false;
    // A token without the privilege "succeeds" with ERROR_NOT_ALL_ASSIGNED.
    return ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           ::GetLastError() == ERROR_SUCCESS;
}

BOOL StartScreenSaver() {
    ::PostMessageA(::GetDesktopWindow(), WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    return TRUE;
}

} // namespace

WindowsVersion QueryWindowsVersion() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExA(&version))
        return OS_UNKNOWN;
    return MapWindowsVersion(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
}

bool RequireWindows2000() {
    if (QueryWindowsVersion() >= OS_WIN2000)
        return true;
    theApp.ShowErrorBox(ERROR_OLD_WIN_VERSION);
    return false;
}

BOOL SetPowerState(unsigned action) {
    if (!RequireWindows2000() || !EnableShutdownPrivilege())
        return FALSE;
    switch (action) {
    case POWER_LOGOFF:
        return ::ExitWindowsEx(EWX_LOGOFF | EWX_FORCE, 0);
    case POWER_STANDBY:
        return ::SetSystemPowerState(TRUE, FALSE);
    case POWER_HIBERNATE:
        return ::SetSystemPowerState(FALSE, FALSE);
    case POWER_OFF:
        return ::ExitWindowsEx(EWX_POWEROFF | EWX_FORCEIFHUNG, 0);
    case POWER_SCREENSAVER:
        return StartScreenSaver();
    default:
        return FALSE;
    }
}

} // namespace corvix
