#include "session/PlatformCode.h"

namespace qx {

namespace {

constexpr unsigned kFamilyWin32s = 0;
constexpr unsigned kFamilyWindows9x = 1;
constexpr unsigned kFamilyNT = 2;

PlatformCode NTPlatformCode(unsigned majorVersion, unsigned minorVersion) {
    if (majorVersion <= 4)
        return PLATFORM_NT4;
    if (majorVersion != 5)
        return PLATFORM_UNKNOWN;
    switch (minorVersion) {
    case 0:
        return PLATFORM_WIN2000;
    case 1:
        return PLATFORM_WINXP;
    default:
        return PLATFORM_UNKNOWN;
    }
}

} // namespace

PlatformCode PlatformCodeFor(const VersionReport& report) {
    switch (report.platformId) {
    case kFamilyWin32s:
        return PLATFORM_WIN32S;
    case kFamilyWindows9x:
        return report.minorVersion == 0 ? PLATFORM_WIN95 : PLATFORM_WIN98_ME;
    case kFamilyNT:
        return NTPlatformCode(report.majorVersion, report.minorVersion);
    default:
        return PLATFORM_UNKNOWN;
    }
}

} // namespace qx
