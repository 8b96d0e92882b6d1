// Calls every export once, so that linking it proves the import library
// resolves each name the header declares. Never run.
#include "shellact/Corvix.h"

int main() {
    char name[64];
    DWORD size = sizeof name;
    DWORD type = 0;
    BYTE data[4];
    const HKEY key = CVXP_GetRegistryHandle(HKEY_CURRENT_USER, "Software");
    return static_cast<int>(
        CVXP_GetWindowsVersion() + CVXP_SetPowerState(corvix::POWER_SCREENSAVER) +
        CVXP_GenerateKeyStroke(0x2F, FALSE, FALSE) + CVXP_CloseWindow() + CVXP_XferCalcResult() +
        CVXP_OpenURL("http://localhost/") + CVXP_SndRec32(5) + CVXP_GetNumOfCDDrives() +
        CVXP_GetCDDriveName(0, name, &size) + CVXP_CDDriveDoorOpen(0) + CVXP_CDDriveDoorClose(0) +
        CVXP_PlayAudioCD("D:") + CVXP_GetRegistryValue(key, "", &type, data, &size) +
        CVXP_FreeRegistryHandle(key) + (CVXP_GetLastErrorMsg(0), 0));
}
