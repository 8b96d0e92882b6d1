#include "ErrorText.h"

namespace corvix {

std::string UnknownErrorText(std::uint32_t code) {
    return "Unknown error " + std::to_string(code) + ".";
}

} // namespace corvix
