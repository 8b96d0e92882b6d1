#include "AudioCdCommand.h"

namespace corvix {

std::string AudioCdPlayCommand(std::string_view registeredCommand, std::string_view drive) {
    const std::size_t placeholder = registeredCommand.find("\"%");
    std::string command;
    if (placeholder != std::string_view::npos)
        command = registeredCommand.substr(0, placeholder);
    command += '"';
    command += drive;
    command += '"';
    return command;
}

} // namespace corvix
