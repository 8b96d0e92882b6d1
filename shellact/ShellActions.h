// The actions behind the CVXP_ exports, grouped by family, and the steps
// they share.
#pragma once

#include "CorvixCodes.h"
#include "framework/Handles.h"

#include <windows.h>

namespace corvix {

// Version and power
WindowsVersion QueryWindowsVersion();
// True on Windows 2000 or a later NT system; otherwise shows the box for
// ERROR_OLD_WIN_VERSION.
bool RequireWindows2000();
BOOL SetPowerState(unsigned action);

// Input and windows
BOOL GenerateKeyStroke(WORD scanCode, BOOL extended, BOOL keyUp);
BOOL CloseForegroundWindow();
BOOL TransferCalculatorResult();
BOOL OpenWithShell(const char* target);
int ControlSoundRecorder(unsigned action);

// CD drives
DWORD CountCdDrives();
BOOL ReadCdDriveName(unsigned index, char* name, DWORD* size);
BOOL OpenCdDriveDoor(int deviceNumber);
BOOL CloseCdDriveDoor(int deviceNumber);
BOOL PlayAudioCd(const char* drive);

// Registry reads that show the error box for a failing step.
HKEY OpenRegistryKey(HKEY root, const char* subKey);
bool QueryRegistryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);

} // namespace corvix
