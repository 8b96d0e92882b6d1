// Small decisions of the resident program that need no window: the start
// gate, the stop request, session switches, tray mouse input, the system
// menu, the notice command line, the tray tip and the program folder.
#pragma once

#include <cstddef>
#include <string>

namespace resident {

constexpr char INSTANCE_GUID[] = "C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3";
constexpr long CLOSE_REQUEST_LPARAM = 999;

// Windows 2000 (code 5) and later; unknown (0) and older systems are refused.
inline bool IsSupportedWindows(unsigned versionCode) {
    return static_cast<int>(versionCode) >= 5;
}

inline bool IsCloseRequest(long lParam) {
    return lParam == CLOSE_REQUEST_LPARAM;
}

// The session left the console (wParam 1): let go of the device link;
// anything else means it came back.
inline bool IsSessionLeavingConsole(unsigned long long wParam) {
    return wParam == 1;
}

// System commands keep their low four bits for the system's own use.
bool IsAboutBoxCommand(unsigned long long commandId);

enum class TrayMouseAction { None, OpenMenu, LaunchConfigProgram };

// The shell's mouse message for the icon, in the low 16 bits of lParam.
TrayMouseAction ActionForTrayMouse(unsigned long long lParam);

// Parameters of the on-screen display: the label, an empty font field and
// the three colour fields of the preference text.
std::string NoticeParameters(const std::string& label, const std::string& colour);

// Copies the tip into a record field of capacity bytes: at most capacity - 1
// characters and the terminating zero; longer tips are cut.
void CopyTrayTip(char* field, std::size_t capacity, const std::string& tip);

// Drive and folder of an executable's path, with the trailing separator;
// empty when the path names no folder.
std::string ModuleFolderFromPath(const std::string& path);

} // namespace resident
