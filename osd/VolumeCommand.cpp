#include "VolumeCommand.h"

#include "OsdCommandLine.h"

#include <limits>

namespace osd {

namespace {

struct VolumeTag {
    std::string_view tag;
    OsdCommandType type;
};

// Tried in this order, wherever they stand in the text.
constexpr VolumeTag kVolumeTags[] = {
    {"{VOLUP:", OSD_VOLUME_UP},
    {"{VOLDN:", OSD_VOLUME_DOWN},
    {"{MUTE:", OSD_MUTE},
};

// The level between the text's first colon and the first "}" after it; 0
// when it is missing, not all digits or beyond 32 bits.
std::int64_t VolumeLevel(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return 0;
    const std::size_t closing = text.find('}', colon + 1);
    if (closing == std::string_view::npos)
        return 0;
    const std::string_view digits = TrimWhiteSpace(text.substr(colon + 1, closing - colon - 1));
    return DecimalValue(digits, std::numeric_limits<std::int32_t>::max()).value_or(0);
}

} // namespace

VolumeCommand ParseVolumeCommand(std::string_view text) {
    for (const VolumeTag& tag : kVolumeTags) {
        if (text.find(tag.tag) != std::string_view::npos)
            return {tag.type, VolumeLevel(text)};
    }
    return {};
}

OsdDecision DecideOsdCommands(const std::vector<OsdMessage>& messages) {
    OsdDecision decision;
    for (const OsdMessage& message : messages) {
        if (message.type == OSD_TEXT)
            return {OsdAction::End, {}};
        if (message.type == OSD_VOLUME_UP || message.type == OSD_VOLUME_DOWN) {
            decision.action = OsdAction::ShowVolume;
            decision.volume = {static_cast<OsdCommandType>(message.type), message.level};
        }
    }
    return decision;
}

} // namespace osd
