// What the marker and key service windows read from their message
// parameters. Both parameters are pointer-sized on win64: they are compared
// whole, never cut to 32 bits.
#pragma once

namespace resident {

constexpr unsigned long long CLOSE_REQUEST_LPARAM = 999;

inline bool IsCloseRequest(unsigned long long lParam) {
    return lParam == CLOSE_REQUEST_LPARAM;
}

// The session left the console (wParam 1): let go of the device link;
// anything else means it came back.
inline bool IsSessionLeavingConsole(unsigned long long wParam) {
    return wParam == 1;
}

} // namespace resident
