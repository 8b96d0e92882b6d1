// How the tests drive LqnmodClient: commands sent to its control window, and
// the lines it (and the stand-in session library) append to its log.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

#include <string>

namespace lqnclient {

constexpr wchar_t kControlTitle[] = L"Lqnmod client";
constexpr wchar_t kTargetTitle[] = L"Lqnmod client target";

enum Command : UINT {
    CMD_INIT = WM_APP + 1,      // wParam: an InitWindow
    CMD_CLOSE,                  // LoquenClose
    CMD_PLATFORM,               // GetPlatformVersion
    CMD_SESSION_LIBRARY_LOADED, // 1 while Wtsapi32.dll is loaded in the client
    CMD_REENTER,                // wParam: a Reentry, made inside the next forwarded message
    CMD_CANARY_INTACT,          // 1 while nothing has written to the canary window
};

enum InitWindow : WPARAM {
    INIT_NULL_WINDOW,
    INIT_TARGET_WINDOW,
    INIT_REFUSING_WINDOWS, // the target, while no window of the client's thread may be created
};

// What the target window calls when a forwarded message reaches it. Afterwards
// it fills fresh heap blocks of many sizes with the canary window's handle, so
// that a library object freed by the call and read afterwards writes to the
// canary.
enum Reentry : WPARAM {
    REENTER_NONE,
    REENTER_CLOSE, // LoquenClose
    REENTER_INIT,  // LoquenInit with the target window
};

// WM_COPYDATA with this dwData and a MsgParams record: LoquenSetMsgParams.
constexpr ULONG_PTR kSetMsgParams = 1;
struct MsgParams {
    UINT msgA;
    UINT wParamA;
    LONG lParamA;
    UINT msgB;
    UINT wParamB;
    LONG lParamB;
};

// Environment of the stand-in session library: its log, and how many
// registrations and unregistrations it refuses before it accepts one.
constexpr wchar_t kFakeLogVariable[] = L"QX_WTS_LOG";
constexpr wchar_t kFakeRefusedRegistrationsVariable[] = L"QX_WTS_REFUSE_REGISTER";
constexpr wchar_t kFakeRefusedUnregistrationsVariable[] = L"QX_WTS_REFUSE_UNREGISTER";

// Appends one line; each line is on disk before the call returns, so the test
// sees what happened during a message it sent as soon as the send returns.
inline void AppendLogLine(const std::wstring& path, const std::string& line) {
    qx::unique_hfile file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

} // namespace lqnclient
