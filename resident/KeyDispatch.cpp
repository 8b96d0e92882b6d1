#include "KeyDispatch.h"

#include "resources/Tarvolt/resource.h"

namespace resident {

KeyAction ActionForKey(unsigned keyCode) {
    switch (keyCode) {
    case KEY_PROG1:
        return {IDS_PROG1, 0};
    case KEY_PROG2:
        return {IDS_PROG2, 1};
    case KEY_MY_COMPUTER:
        return {IDS_MY_COMPUTER, NO_USER_KEY};
    case KEY_MUTE:
        return {IDS_MUTE, NO_USER_KEY};
    default:
        return {};
    }
}

bool IsVolumeKey(unsigned keyCode) {
    return keyCode == KEY_VOLUME_A || keyCode == KEY_VOLUME_B;
}

UserKeyRoute RouteUserKey(int type, const std::string& command) {
    if (command.empty())
        return UserKeyRoute::LaunchConfigProgram;
    return type != 0 ? UserKeyRoute::ShellOpen : UserKeyRoute::OpenUrl;
}

} // namespace resident
