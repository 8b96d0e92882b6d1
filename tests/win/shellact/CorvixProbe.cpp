// Calls Corvix exports in a process of its own, so that the Windows version
// Wine reports can be set for this program alone.
//   CorvixProbe version  exit code: CVXP_GetWindowsVersion()
//   CorvixProbe gated    exit code: bit i set when gated call i succeeded
//                        (0 drive count, 1 drive name, 2 door open, 3 door
//                        close, 4 screen saver); bit 5 set when opening a
//                        registry key, which is not gated, failed
#include "shellact/Corvix.h"

#include <cstring>

namespace {

int RunGatedCalls() {
    char name[256];
    DWORD size = sizeof name;
    const bool results[] = {
        CVXP_GetNumOfCDDrives() != 0,
        CVXP_GetCDDriveName(0, name, &size) != FALSE,
        CVXP_CDDriveDoorOpen(0) != FALSE,
        CVXP_CDDriveDoorClose(0) != FALSE,
        CVXP_SetPowerState(corvix::POWER_SCREENSAVER) != FALSE,
    };
    int bits = 0;
    for (int i = 0; i < 5; ++i)
        bits |= results[i] ? 1 << i : 0;
    const HKEY key = CVXP_GetRegistryHandle(HKEY_LOCAL_MACHINE, "Software");
    if (!key)
        bits |= 1 << 5;
    else
        CVXP_FreeRegistryHandle(key);
    return bits;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "version") == 0)
        return static_cast<int>(CVXP_GetWindowsVersion());
    if (argc == 2 && std::strcmp(argv[1], "gated") == 0)
        return RunGatedCalls();
    return 255;
}
