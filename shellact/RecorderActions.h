// Which of the sound recorder's buttons an action presses, and with which
// command identifier.
#pragma once

#include <optional>

namespace corvix {

struct RecorderButton {
    unsigned index;     // 0-based among the recorder window's "Button" children
    unsigned commandId; // WM_COMMAND identifier posted with that button
};

// The button of actions 0 to 4; none for any other action.
std::optional<RecorderButton> RecorderButtonFor(unsigned action);

// Only the first action starts the recorder when it is not running.
inline bool RecorderActionStartsRecorder(unsigned action) {
    return action == 0;
}

} // namespace corvix
