// The command line that plays an audio CD with the registered player.
#pragma once

#include <string>
#include <string_view>

namespace corvix {

// The registered play command up to its quoted file-name placeholder ("%1"),
// followed by the drive text in double quotes. A command without a quoted
// placeholder contributes nothing, so only the quoted drive is left.
std::string AudioCdPlayCommand(std::string_view registeredCommand, std::string_view drive);

} // namespace corvix
