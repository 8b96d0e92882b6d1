// The exports: thin calls into the library's one SessionLink.
#include "session/Lqnmod.h"

#include "session/PlatformCode.h"
#include "session/SessionLink.h"

namespace {
CSessionLink theSessionLink;
}

int WINAPI LoquenInit(HWND window) {
    return theSessionLink.Init(window);
}

int WINAPI LoquenSetMsgParams(unsigned msgA, unsigned wParamA, long lParamA, unsigned msgB,
                              unsigned wParamB, long lParamB) {
    qx::ClientMessages messages;
    messages.disconnected = {msgA, wParamA, static_cast<std::int32_t>(lParamA)};
    messages.connected = {msgB, wParamB, static_cast<std::int32_t>(lParamB)};
    return theSessionLink.SetMsgParams(messages);
}

void WINAPI LoquenClose() {
    theSessionLink.Close();
}

unsigned WINAPI GetPlatformVersion() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version; // the plain record, not the extended one
    if (!::GetVersionExA(&version))
        return qx::PLATFORM_UNKNOWN;
    return qx::PlatformCodeFor(
        {version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion});
}
