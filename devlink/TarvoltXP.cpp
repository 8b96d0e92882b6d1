// The six exports, each a thin forward to the one device link.
#include "TarvoltXP.h"

#include "DeviceLink.h"

using namespace devlink;

namespace {

// Made when the library is loaded and never destroyed (nothing runs at
// process detach).
CDeviceLink& theDeviceLink = *new CDeviceLink(TheDevicePort());

} // namespace

extern "C" int WINAPI LoadDriver(HWND hTargetWnd) {
    return theDeviceLink.LoadDriver(hTargetWnd);
}

extern "C" int WINAPI UnloadDriver(void) {
    return theDeviceLink.UnloadDriver();
}

extern "C" int WINAPI ResetDevice(void) {
    return theDeviceLink.SendCommand(HeaderFor(CMD_RESET), nullptr, 0);
}

extern "C" int WINAPI ReloadKeyMap(void) {
    return theDeviceLink.SendCommand(HeaderFor(CMD_RELOAD_KEYMAP), nullptr, 0);
}

extern "C" int WINAPI ResetKeyMap(int nFirst, int nSecond) {
    const Payload payload = ResetKeyMapPayload(nFirst, nSecond);
    return theDeviceLink.SendCommand(HeaderFor(CMD_RESET_KEYMAP), payload.bytes.data(),
                                     payload.length);
}

extern "C" int WINAPI ResetKeyMapEx(const BYTE* pData, int nLength) {
    // Without data there is nothing to copy from.
    if (!pData && (nLength & 0xFF) != 0)
        return 0;
    const Payload payload = ResetKeyMapExPayload(pData, nLength);
    return theDeviceLink.SendCommand(HeaderFor(CMD_RESET_KEYMAP_EX), payload.bytes.data(),
                                     payload.length);
}
