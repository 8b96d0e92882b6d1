#include "KeyDispatch.h"

#include "resources/Tarvolt/resource.h"

namespace resident {

unsigned UserKeyLabelId(int userKeyIndex) {
    return IDS_PROG1 + static_cast<unsigned>(userKeyIndex);
}

KeyAction ActionForKey(unsigned long long keyCode) {
    if (keyCode >= KEY_PROG1 && keyCode - KEY_PROG1 < static_cast<unsigned>(USER_KEY_COUNT)) {
        const int userKeyIndex = static_cast<int>(keyCode - KEY_PROG1);
        return {UserKeyLabelId(userKeyIndex), userKeyIndex};
    }
    switch (keyCode) {
    case KEY_MY_COMPUTER:
        return {IDS_MY_COMPUTER, NO_USER_KEY};
    case KEY_MUTE:
        return {IDS_MUTE, NO_USER_KEY};
    default:
        return {};
    }
}

bool IsVolumeKey(unsigned long long keyCode) {
    return keyCode == KEY_VOLUME_A || keyCode == KEY_VOLUME_B;
}

UserKeyRoute RouteUserKey(int type, const std::string& command) {
    if (command.empty())
        return UserKeyRoute::LaunchConfigProgram;
    return type != 0 ? UserKeyRoute::ShellOpen : UserKeyRoute::OpenUrl;
}

} // namespace resident
