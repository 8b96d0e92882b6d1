// The exported interface: thin functions over the actions.
#include "Corvix.h"
#include "ShellActionApp.h"
#include "ShellActions.h"

using namespace corvix;

extern "C" {

UINT WINAPI CVXP_GetWindowsVersion(void) {
    return QueryWindowsVersion();
}

BOOL WINAPI CVXP_SetPowerState(UINT action) {
    return SetPowerState(action);
}

BOOL WINAPI CVXP_GenerateKeyStroke(WORD scanCode, BOOL extended, BOOL keyUp) {
    return GenerateKeyStroke(scanCode, extended, keyUp);
}

BOOL WINAPI CVXP_CloseWindow(void) {
    return CloseForegroundWindow();
}

BOOL WINAPI CVXP_XferCalcResult(void) {
    return TransferCalculatorResult();
}

BOOL WINAPI CVXP_OpenURL(const char* target) {
    return OpenWithShell(target);
}

int WINAPI CVXP_SndRec32(UINT action) {
    return ControlSoundRecorder(action);
}

DWORD WINAPI CVXP_GetNumOfCDDrives(void) {
    return CountCdDrives();
}

BOOL WINAPI CVXP_GetCDDriveName(UINT index, char* name, DWORD* size) {
    return ReadCdDriveName(index, name, size);
}

BOOL WINAPI CVXP_CDDriveDoorOpen(int deviceNumber) {
    return OpenCdDriveDoor(deviceNumber);
}

BOOL WINAPI CVXP_CDDriveDoorClose(int deviceNumber) {
    return CloseCdDriveDoor(deviceNumber);
}

BOOL WINAPI CVXP_PlayAudioCD(const char* drive) {
    return PlayAudioCd(drive);
}

HKEY WINAPI CVXP_GetRegistryHandle(HKEY root, const char* subKey) {
    return OpenRegistryKey(root, subKey);
}

BOOL WINAPI CVXP_GetRegistryValue(HKEY key, const char* name, DWORD* type, BYTE* data,
                                  DWORD* size) {
    return QueryRegistryValue(key, name, type, data, size);
}

LONG WINAPI CVXP_FreeRegistryHandle(HKEY key) {
    return ::RegCloseKey(key);
}

void WINAPI CVXP_GetLastErrorMsg(DWORD code) {
    theApp.ShowErrorBox(code);
}
}
