#include "session/PlatformCode.h"

namespace qx {

namespace {

constexpr unsigned FAMILY_WIN32S = 0;
constexpr unsigned FAMILY_WINDOWS_9X = 1;
constexpr unsigned FAMILY_NT = 2;

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
    case FAMILY_WIN32S:
        return PLATFORM_WIN32S;
    case FAMILY_WINDOWS_9X:
        return report.minorVersion == 0 ? PLATFORM_WIN95 : PLATFORM_WIN98_ME;
    case FAMILY_NT:
        return NTPlatformCode(report.majorVersion, report.minorVersion);
    default:
        return PLATFORM_UNKNOWN;
    }
}

} // namespace qx
