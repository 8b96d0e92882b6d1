#include "session/PlatformCode.h"

#include <gtest/gtest.h>

using namespace qx;

namespace {

struct VersionCase {
    const char* name;
    VersionReport report;
    PlatformCode expected;
};

// Family 0 Win32s, 1 Windows 9x, 2 NT; then major and minor version.
const VersionCase kVersions[] = {
    {"Win32s", {0, 1, 30}, PLATFORM_WIN32S},
    {"Windows 95", {1, 4, 0}, PLATFORM_WIN95},
    {"Windows 98", {1, 4, 10}, PLATFORM_WIN98_ME},
    {"Windows Me", {1, 4, 90}, PLATFORM_WIN98_ME},
    {"NT 3.51", {2, 3, 51}, PLATFORM_NT4},
    {"NT 4.0", {2, 4, 0}, PLATFORM_NT4},
    {"Windows 2000", {2, 5, 0}, PLATFORM_WIN2000},
    {"Windows XP", {2, 5, 1}, PLATFORM_WINXP},
    {"Server 2003", {2, 5, 2}, PLATFORM_UNKNOWN},
    {"Vista", {2, 6, 0}, PLATFORM_UNKNOWN},
    {"Windows 7", {2, 6, 1}, PLATFORM_UNKNOWN},
    {"Windows 10", {2, 10, 0}, PLATFORM_UNKNOWN},
    {"Windows CE family", {3, 5, 1}, PLATFORM_UNKNOWN},
    {"family out of range", {0xFFFFFFFFu, 5, 1}, PLATFORM_UNKNOWN},
};

TEST(LqnmodPlatformCode, EachKnownVersionGetsItsCodeAndEverythingLaterIsUnknown) {
    for (const VersionCase& version : kVersions) {
        SCOPED_TRACE(version.name);
        EXPECT_EQ(version.expected, PlatformCodeFor(version.report));
    }
}

} // namespace
