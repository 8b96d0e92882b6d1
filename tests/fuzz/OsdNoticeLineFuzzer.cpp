// The notice line and the volume commands on arbitrary bytes: no crash, no
// undefined behaviour, and what comes out keeps the promises of the format.
#include "NoticeLayout.h"
#include "OsdCommandLine.h"
#include "VolumeCommand.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace osd;

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// A colour written back as the components that give it again.
std::string ColourFields(std::uint32_t colour) {
    if (colour == 0)
        return "256`0`0";
    if (colour == DEFAULT_OSD_COLOUR)
        return "0`0`0";
    return std::to_string(colour & 0xFF) + "`" + std::to_string(colour >> 8 & 0xFF) + "`" +
           std::to_string(colour >> 16 & 0xFF);
}

// What a good line yields, written out again in full, reads back the same.
void CheckParsedLine(const OsdParams& params) {
    Require(!params.text.empty() && params.text.find('`') == std::string::npos);
    Require(TrimWhiteSpace(params.text) == params.text);
    Require(!params.faceName.empty() && params.faceName.find('`') == std::string::npos);
    Require(params.colour <= 0x00FFFFFF);
    Require(params.height >= 0 && params.weight >= 0 && params.italic >= 0 &&
            params.displayTime >= 0);

    const std::string line =
        params.text + "`" + params.faceName + "`" + ColourFields(params.colour) + "`" +
        std::to_string(params.height) + "`" + std::to_string(params.weight) + "`" +
        std::to_string(params.italic) + "`" + std::to_string(params.displayTime);
    const std::optional<OsdParams> again = ParseCommandLine(line);
    Require(again.has_value());
    Require(again->text == params.text && again->faceName == params.faceName &&
            again->colour == params.colour && again->height == params.height &&
            again->weight == params.weight && again->italic == params.italic &&
            again->displayTime == params.displayTime);
}

void CheckVolumeCommand(std::string_view text) {
    const VolumeCommand command = ParseVolumeCommand(text);
    Require(command.type >= OSD_TEXT && command.type <= OSD_MUTE);
    Require(command.level >= 0 && command.level <= 0x7FFFFFFF);
    Require(command.type != OSD_TEXT || command.level == 0);
    Require(VolumeBar(command.level).size() <= static_cast<std::size_t>(VOLUME_BAR_MAX_LEVEL));
}

// The bytes read as hand-over messages: an end request ends the display,
// otherwise the newest volume up or down is the one shown.
void CheckHandOver(const std::uint8_t* data, std::size_t size) {
    std::vector<OsdMessage> messages;
    bool endRequested = false;
    const OsdMessage* newestVolume = nullptr;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        messages.push_back({static_cast<std::uintptr_t>(data[i] % 5),
                            static_cast<std::intptr_t>(static_cast<std::int8_t>(data[i + 1]))});
    }
    for (const OsdMessage& message : messages) {
        endRequested = endRequested || message.type == OSD_TEXT;
        if (message.type == OSD_VOLUME_UP || message.type == OSD_VOLUME_DOWN)
            newestVolume = &message;
    }
    const OsdDecision decision = DecideOsdCommands(messages);
    if (endRequested) {
        Require(decision.action == OsdAction::End);
    } else if (newestVolume) {
        Require(decision.action == OsdAction::ShowVolume);
        Require(decision.volume.type == static_cast<int>(newestVolume->type));
        Require(decision.volume.level == newestVolume->level);
    } else {
        Require(decision.action == OsdAction::Nothing);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string_view arguments = CommandLineArguments(bytes);
    Require(arguments.size() <= bytes.size() &&
            bytes.substr(bytes.size() - arguments.size()) == arguments);

    if (const std::optional<OsdParams> params = ParseCommandLine(bytes))
        CheckParsedLine(*params);
    CheckVolumeCommand(bytes);
    CheckHandOver(data, size);
    return 0;
}
