#include "shellact/WindowsVersion.h"

#include <gtest/gtest.h>

using namespace corvix;

TEST(WindowsVersionMapping, EachBranchOfPlatformMajorAndMinor) {
    struct Case {
        const char* what;
        std::uint32_t platform, major, minor;
        WindowsVersion expected;
    } cases[] = {
        {"Win32s", kPlatformWin32s, 3, 10, OS_WIN32S},
        {"Windows 95", kPlatformWindows, 4, 0, OS_WIN95},
        {"Windows 98", kPlatformWindows, 4, 10, OS_WIN98},
        {"Windows Me", kPlatformWindows, 4, 90, OS_WIN98},
        {"NT 3.51", kPlatformNt, 3, 51, OS_NT4},
        {"NT 4.0", kPlatformNt, 4, 0, OS_NT4},
        {"NT 4 with a minor above 1", kPlatformNt, 4, 2, OS_NT4},
        {"Windows 2000", kPlatformNt, 5, 0, OS_WIN2000},
        {"Windows XP", kPlatformNt, 5, 1, OS_WINXP},
        {"Server 2003", kPlatformNt, 5, 2, OS_NT_LATER},
        {"Vista", kPlatformNt, 6, 0, OS_NT_LATER},
        {"Windows 7", kPlatformNt, 6, 1, OS_NT_LATER},
        {"Windows 10", kPlatformNt, 10, 0, OS_NT_LATER},
        {"largest major, compared unsigned", kPlatformNt, 0xFFFFFFFFu, 0, OS_NT_LATER},
        {"major 0", kPlatformNt, 0, 0, OS_NT4},
        {"CE", 3, 5, 0, OS_UNKNOWN},
        {"largest platform identifier", 0xFFFFFFFFu, 5, 1, OS_UNKNOWN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, MapWindowsVersion(c.platform, c.major, c.minor));
    }
}
