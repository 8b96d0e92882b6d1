// The tray icon's tip, its mouse input and its system menu.
#pragma once

#include <cstddef>
#include <string>

namespace resident {

// System commands keep their low four bits for the system's own use.
bool IsAboutBoxCommand(unsigned long long commandId);

enum class TrayMouseAction { None, OpenMenu, LaunchConfigProgram };

// The shell's mouse message for the icon, in the low 16 bits of lParam.
TrayMouseAction ActionForTrayMouse(unsigned long long lParam);

// Copies the tip into a record field of capacity bytes: at most capacity - 1
// characters and the terminating zero; longer tips are cut.
void CopyTrayTip(char* field, std::size_t capacity, const std::string& tip);

} // namespace resident
