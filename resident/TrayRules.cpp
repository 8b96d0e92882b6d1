#include "TrayRules.h"

#include "resources/Tarvolt/resource.h"

#include <algorithm>
#include <cstring>

namespace resident {

namespace {

constexpr unsigned RIGHT_BUTTON_UP = 0x0205;
constexpr unsigned LEFT_BUTTON_DOUBLE_CLICK = 0x0203;

} // namespace

bool IsAboutBoxCommand(unsigned long long commandId) {
    return (commandId & 0xFFF0) == IDM_ABOUTBOX;
}

TrayMouseAction ActionForTrayMouse(unsigned long long lParam) {
    switch (lParam & 0xFFFF) {
    case RIGHT_BUTTON_UP:
        return TrayMouseAction::OpenMenu;
    case LEFT_BUTTON_DOUBLE_CLICK:
        return TrayMouseAction::LaunchConfigProgram;
    default:
        return TrayMouseAction::None;
    }
}

void CopyTrayTip(char* field, std::size_t capacity, const std::string& tip) {
    if (capacity == 0)
        return;
    const std::size_t length = std::min(tip.size(), capacity - 1);
    std::memcpy(field, tip.data(), length);
    field[length] = '\0';
}

} // namespace resident
