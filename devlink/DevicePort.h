// The device link's way to the keyboard's driver: SetupAPI finds the
// driver's interface, CreateFileA opens it and DeviceIoControl carries each
// request.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

#include <setupapi.h>

struct DeviceReply {
    BOOL succeeded = FALSE;
    DWORD lastError = 0;     // meaningful when the request failed
    DWORD bytesReturned = 0; // as the driver reported it, even on failure
};

class CDevicePort {
  public:
    // Finds the present interfaces of the keyboard's class and holds that set
    // while any were found. Returns how many.
    int DiscoverInterfaces();
    // Destroys the held set, if any.
    void ReleaseInterfaceSet();
    // Opens interface index of the held set for device control; null when it
    // cannot be opened. The caller owns the handle and gives it back to
    // CloseDevice.
    HANDLE OpenInterface(int index);
    // One synchronous device control request.
    DeviceReply Control(HANDLE device, DWORD controlCode, const BYTE* input, DWORD inputLength,
                        BYTE* reply, DWORD replySize);
    BOOL CloseDevice(HANDLE device);

  private:
    struct DeviceSetTraits {
        using Type = HDEVINFO;
        static HDEVINFO Invalid() { return INVALID_HANDLE_VALUE; }
        static void Close_(HDEVINFO set) { SetupDiDestroyDeviceInfoList(set); }
    };

    bool EnumInterface(int index, SP_DEVICE_INTERFACE_DATA& interfaceData) const;

    qx::unique_any<DeviceSetTraits> m_deviceSet;
};
