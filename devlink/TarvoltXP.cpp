// The six exports, each a thin forward to the one device link.
#include "TarvoltXP.h"

#include "DeviceLink.h"

using namespace devlink;

namespace {

// Made when the library is loaded, destroyed when a client frees it.
CDeviceLink* theDeviceLink = new CDeviceLink;

} // namespace

// Nothing is released at process end: the system takes everything back, and
// a thread ended there may have left the link's lock taken.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID pReserved) {
    if (dwReason == DLL_PROCESS_DETACH && !pReserved) {
        delete theDeviceLink;
        theDeviceLink = nullptr;
    }
    return TRUE;
}

extern "C" int WINAPI LoadDriver(HWND hTargetWnd) {
    return theDeviceLink->LoadDriver(hTargetWnd);
}

extern "C" int WINAPI UnloadDriver(void) {
    return theDeviceLink->UnloadDriver();
}

extern "C" int WINAPI ResetDevice(void) {
    return theDeviceLink->SendCommand(HeaderFor(CMD_RESET), nullptr, 0);
}

extern "C" int WINAPI ReloadKeyMap(void) {
    return theDeviceLink->SendCommand(HeaderFor(CMD_RELOAD_KEYMAP), nullptr, 0);
}

extern "C" int WINAPI ResetKeyMap(int nFirst, int nSecond) {
    const Payload payload = ResetKeyMapPayload(nFirst, nSecond);
    return theDeviceLink->SendCommand(HeaderFor(CMD_RESET_KEYMAP), payload.bytes.data(),
                                      payload.length);
}

extern "C" int WINAPI ResetKeyMapEx(const BYTE* pData, int nLength) {
    // Without data there is nothing to copy from.
    if (!pData && (nLength & 0xFF) != 0)
        return 0;
    const Payload payload = ResetKeyMapExPayload(pData, nLength);
    return theDeviceLink->SendCommand(HeaderFor(CMD_RESET_KEYMAP_EX), payload.bytes.data(),
                                      payload.length);
}
