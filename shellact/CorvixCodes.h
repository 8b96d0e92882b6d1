// Result and argument codes of the CVXP_ exports, shared by the library, its
// callers and the platform-free logic.
#pragma once

namespace corvix {

// Result of CVXP_GetWindowsVersion.
enum WindowsVersion : unsigned {
    OS_UNKNOWN = 0,
    OS_WIN32S = 1,
    OS_WIN95 = 2,
    OS_WIN98 = 3, // and Me
    OS_NT4 = 4,   // and earlier NT
    OS_WIN2000 = 5,
    OS_WINXP = 6,
    OS_NT_LATER = 7,
};

// Argument of CVXP_SetPowerState.
enum PowerAction : unsigned {
    POWER_LOGOFF = 0,
    POWER_STANDBY = 1,
    POWER_HIBERNATE = 2,
    POWER_OFF = 3,
    POWER_SCREENSAVER = 4,
};

} // namespace corvix
