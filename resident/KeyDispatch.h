// What a key event from the keyboard leads to. Plain logic: the dialog asks
// these functions and carries the answer out with window and shell calls.
#pragma once

#include <string>

namespace resident {

// Key codes of the extra keys, as the keyboard's driver reports them.
constexpr unsigned KEY_PROG1 = 1;
constexpr unsigned KEY_PROG2 = 2;
constexpr unsigned KEY_MY_COMPUTER = 3;
constexpr unsigned KEY_VOLUME_A = 12;
constexpr unsigned KEY_VOLUME_B = 15;
constexpr unsigned KEY_MUTE = 16;

// The programmable keys, from KEY_PROG1 on in key-code order; an index is a
// key's place in that order.
constexpr int USER_KEY_COUNT = 2;
constexpr int NO_USER_KEY = -1;

// The label string of the programmable key at index.
unsigned UserKeyLabelId(int userKeyIndex);

// A press (non-zero state byte): the label to show and the programmable key
// to run after it. labelId 0 means the key does nothing.
struct KeyAction {
    unsigned labelId = 0;
    int userKeyIndex = NO_USER_KEY;
};

// Key codes and state bytes are the key event's message parameters, compared
// whole: on win64 they have 64 bits, none of them cut off.
KeyAction ActionForKey(unsigned long long keyCode);

// Zero state byte: only the two volume codes do anything.
bool IsVolumeKey(unsigned long long keyCode);

// Whether the event goes to the press branch or the volume branch.
inline bool IsKeyPress(unsigned long long stateByte) {
    return stateByte != 0;
}

// What a programmable key's binding asks for.
enum class UserKeyRoute {
    LaunchConfigProgram, // nothing bound: let the user bind it
    ShellOpen,           // a web address or a program: the shell opens the text
    OpenUrl,             // type 0 with a command (edited by hand): the shell library opens it
};

UserKeyRoute RouteUserKey(int type, const std::string& command);

// The volume pop-up is started only when neither this program started one
// that is still up nor someone else's "Volume Control" window is open.
inline bool ShouldStartVolumeControl(bool popupOpen, bool volumeWindowExists) {
    return !popupOpen && !volumeWindowExists;
}

// A pop-up this program started can come up after the close tick. While it is
// still coming (started, its program running, no "Volume Control" seen since)
// and none is there, the close timer keeps ticking, up to this long after the
// last volume event. One that failed to start or came and went is not waited
// for: the timer would close a "Volume Control" the user opens later.
constexpr unsigned VOLUME_POPUP_WAIT_MS = 10000;

inline bool ShouldWaitForVolumeControl(bool popupComing, bool volumeWindowExists,
                                       unsigned sinceLastVolumeKeyMs) {
    return popupComing && !volumeWindowExists && sinceLastVolumeKeyMs < VOLUME_POPUP_WAIT_MS;
}

} // namespace resident
