// The narrow port through which the device link reaches the keyboard's
// driver. The production port asks SetupAPI and the device itself; the
// simulator port carries the same calls to the simulated keyboard process.
// Each build of the library links exactly one of them.
#pragma once

#include <windows.h>

struct DeviceReply {
    BOOL succeeded = FALSE;
    DWORD lastError = 0;     // meaningful when the request failed
    DWORD bytesReturned = 0; // as the driver reported it, even on failure
};

class IDevicePort {
  public:
    // Finds the present interfaces of the keyboard's class and holds that set
    // while any were found. Returns how many.
    virtual int DiscoverInterfaces() = 0;
    // Destroys the held set, if any.
    virtual void ReleaseInterfaceSet() = 0;
    // Opens interface index of the held set for device control; null when it
    // cannot be opened. The caller owns the handle and gives it back to
    // CloseDevice.
    virtual HANDLE OpenInterface(int index) = 0;
    // One synchronous device control request. Requests on one handle never
    // overlap: the device link serialises them.
    virtual DeviceReply Control(HANDLE device, DWORD controlCode, const BYTE* input,
                                DWORD inputLength, BYTE* reply, DWORD replySize) = 0;
    virtual BOOL CloseDevice(HANDLE device) = 0;

  protected:
    ~IDevicePort() = default;
};

// The port this build of the library was linked with.
IDevicePort& TheDevicePort();
