// Volume commands inside a notice text, and the commands that later copies
// hand to the running display (WM_CLOSE with the command type as wParam and
// the level as lParam). Plain logic.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace osd {

enum OsdCommandType : int {
    OSD_TEXT = 0,
    OSD_VOLUME_UP = 1,
    OSD_VOLUME_DOWN = 2,
    OSD_MUTE = 3,
};

struct VolumeCommand {
    OsdCommandType type = OSD_TEXT;
    std::int64_t level = 0; // 0 when it cannot be read
};

// The command a notice text holds: the first of "{VOLUP:", "{VOLDN:" and
// "{MUTE:" found anywhere in it, and the level written between the text's
// first colon and the next closing brace.
VolumeCommand ParseVolumeCommand(std::string_view text);

// One hand-over message as it arrived at the running display.
struct OsdMessage {
    std::uintptr_t type;
    std::intptr_t level;
};

enum class OsdAction { Nothing, End, ShowVolume };

struct OsdDecision {
    OsdAction action = OsdAction::Nothing;
    VolumeCommand volume; // for ShowVolume
};

// What the display does with hand-over messages that arrived together, oldest
// first: an end request among them ends it; otherwise the newest volume up or
// down is shown and the older ones are passed over; anything else changes
// nothing.
OsdDecision DecideOsdCommands(const std::vector<OsdMessage>& messages);

} // namespace osd
