// Maps what the platform's version query reports to a version code.
#pragma once

#include "CorvixCodes.h"

#include <cstdint>

namespace corvix {

// Platform identifiers of the version query.
constexpr std::uint32_t kPlatformWin32s = 0;
constexpr std::uint32_t kPlatformWindows = 1; // 95, 98, Me
constexpr std::uint32_t kPlatformNt = 2;

WindowsVersion MapWindowsVersion(std::uint32_t platformId, std::uint32_t major,
                                 std::uint32_t minor);

} // namespace corvix
