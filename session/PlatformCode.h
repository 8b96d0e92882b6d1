// The platform codes of GetPlatformVersion, from what the version query
// reports. Plain logic.
#pragma once

namespace qx {

enum PlatformCode : unsigned {
    PLATFORM_UNKNOWN = 0,
    PLATFORM_WIN32S = 1,
    PLATFORM_WIN95 = 2,
    PLATFORM_WIN98_ME = 3,
    PLATFORM_NT4 = 4,
    PLATFORM_WIN2000 = 5,
    PLATFORM_WINXP = 6,
};

// Platform family as the version record names it: 0 Win32s, 1 Windows 95/98/Me, 2 NT.
struct VersionReport {
    unsigned platformId;
    unsigned majorVersion;
    unsigned minorVersion;
};

// Only the versions the system knows get a code of their own; anything newer
// than Windows XP, Server 2003 included, is unknown.
PlatformCode PlatformCodeFor(const VersionReport& report);

} // namespace qx
