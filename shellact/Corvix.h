// Corvix.dll: small operating-system actions for the keyboard's special keys.
// Results are 1 for success and 0 for failure unless a function says
// otherwise. Failures that carry a system error code have already been shown
// to the user in a box captioned "Tarvolt"; callers show nothing more.
#pragma once

#include "CorvixCodes.h"

#include <windows.h>

#ifdef CORVIX_BUILDING
#define CORVIX_API
#else
#define CORVIX_API __declspec(dllimport)
#endif

extern "C" {

// Version and power
CORVIX_API UINT WINAPI CVXP_GetWindowsVersion(void);    // a corvix::WindowsVersion
CORVIX_API BOOL WINAPI CVXP_SetPowerState(UINT action); // a corvix::PowerAction

// Input and windows
CORVIX_API BOOL WINAPI CVXP_GenerateKeyStroke(WORD scanCode, BOOL extended, BOOL keyUp);
CORVIX_API BOOL WINAPI CVXP_CloseWindow(void);
CORVIX_API BOOL WINAPI CVXP_XferCalcResult(void);
CORVIX_API BOOL WINAPI CVXP_OpenURL(const char* target);
// Non-zero (for actions above 4, the recorder's window) when done.
CORVIX_API int WINAPI CVXP_SndRec32(UINT action);

// CD drives
CORVIX_API DWORD WINAPI CVXP_GetNumOfCDDrives(void);
// *size: capacity of name in bytes on input, the stored length on success.
CORVIX_API BOOL WINAPI CVXP_GetCDDriveName(UINT index, char* name, DWORD* size);
CORVIX_API BOOL WINAPI CVXP_CDDriveDoorOpen(int deviceNumber);
CORVIX_API BOOL WINAPI CVXP_CDDriveDoorClose(int deviceNumber);
CORVIX_API BOOL WINAPI CVXP_PlayAudioCD(const char* drive);

// Read-only registry access and the error box. The key from
// CVXP_GetRegistryHandle belongs to the caller, who frees it with
// CVXP_FreeRegistryHandle.
CORVIX_API HKEY WINAPI CVXP_GetRegistryHandle(HKEY root, const char* subKey);
CORVIX_API BOOL WINAPI CVXP_GetRegistryValue(HKEY key, const char* name, DWORD* type, BYTE* data,
                                             DWORD* size);
CORVIX_API LONG WINAPI CVXP_FreeRegistryHandle(HKEY key);
CORVIX_API void WINAPI CVXP_GetLastErrorMsg(DWORD code);
}
