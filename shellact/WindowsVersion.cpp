#include "WindowsVersion.h"

namespace corvix {

namespace {

WindowsVersion MapNtVersion(std::uint32_t major, std::uint32_t minor) {
    if (major <= 4)
        return OS_NT4;
    if (major > 5)
        return OS_NT_LATER;
    switch (minor) {
    case 0:
        return OS_WIN2000;
    case 1:
        return OS_WINXP;
    default:
        return OS_NT_LATER; // 5.2: Server 2003, XP x64
    }
}

} // namespace

WindowsVersion MapWindowsVersion(std::uint32_t platformId, std::uint32_t major,
                                 std::uint32_t minor) {
    switch (platformId) {
    case kPlatformWin32s:
        return OS_WIN32S;
    case kPlatformWindows:
        return minor == 0 ? OS_WIN95 : OS_WIN98;
    case kPlatformNt:
        return MapNtVersion(major, minor);
    default:
        return OS_UNKNOWN;
    }
}

} // namespace corvix
