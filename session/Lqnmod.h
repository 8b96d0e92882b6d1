// Session-switch library: tells a client window when the client's session is
// disconnected from the console and when it comes back (fast user switching).
#pragma once

#include <windows.h>

// The library exports these by the names its .def file gives.
#ifdef LQNMOD_EXPORTS
#define LQNMOD_API
#else
#define LQNMOD_API __declspec(dllimport)
#endif

// 1 when the client's window will be told of session switches, and on every
// platform but Windows XP, where there is nothing to follow; 0 for a null
// window or when the platform never took the registration.
LQNMOD_API int WINAPI LoquenInit(HWND window);

// Messages sent to the client's window when its session leaves the console (A)
// and comes back (B). 0 while LoquenInit has not built the library's window.
LQNMOD_API int WINAPI LoquenSetMsgParams(unsigned msgA, unsigned wParamA, long lParamA,
                                         unsigned msgB, unsigned wParamB, long lParamB);

// Ends session following; the client calls it before it lets the library go.
LQNMOD_API void WINAPI LoquenClose();

// 0 unknown (also Server 2003 and later), 1 Win32s, 2 Windows 95, 3 Windows 98
// or Me, 4 Windows NT 4 or earlier, 5 Windows 2000, 6 Windows XP.
LQNMOD_API unsigned WINAPI GetPlatformVersion();
