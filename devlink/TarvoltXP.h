// TarvoltXP: the device link to the QX-310 keyboard's driver. LoadDriver
// finds and opens the keyboard and starts polling it; every key event then
// reaches the given window as WM_DEVICEKEY, sent (not posted) from the
// library's polling thread. All functions return 1 (non-zero) on success and
// 0 on failure.
#pragma once

#include <windows.h>

#ifdef TARVOLTXP_BUILD
#define TARVOLTXP_API
#else
#define TARVOLTXP_API __declspec(dllimport)
#endif

// wParam: key code, lParam: key state byte, each 0 to 255.
#define WM_DEVICEKEY 4485

#ifdef __cplusplus
extern "C" {
#endif

// 1 when the keyboard was found and opened and polling started; 0 when not,
// or when the link is already loaded. A null window polls without delivering.
TARVOLTXP_API int WINAPI LoadDriver(HWND hTargetWnd);
// 0 when the link was not loaded; else the result of closing the device.
TARVOLTXP_API int WINAPI UnloadDriver(void);
TARVOLTXP_API int WINAPI ResetDevice(void);
TARVOLTXP_API int WINAPI ReloadKeyMap(void);
// Only the low byte of each argument is sent.
TARVOLTXP_API int WINAPI ResetKeyMap(int nFirst, int nSecond);
// Sends the first (nLength & 0xFF) bytes of pData.
TARVOLTXP_API int WINAPI ResetKeyMapEx(const BYTE* pData, int nLength);

#ifdef __cplusplus
}
#endif
