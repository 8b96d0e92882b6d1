// Whether the resident program may start: the system's version and the
// marker window's title, by which a running copy is found.
#pragma once

namespace resident {

constexpr char INSTANCE_GUID[] = "C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3";

// Windows 2000 (code 5) and later; unknown (0) and older systems are refused.
inline bool IsSupportedWindows(unsigned versionCode) {
    return static_cast<int>(versionCode) >= 5;
}

} // namespace resident
