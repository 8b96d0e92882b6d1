// Text of the error box when the system has none for a code.
#pragma once

#include <cstdint>
#include <string>

namespace corvix {

// "Unknown error N." with the code in decimal.
std::string UnknownErrorText(std::uint32_t code);

} // namespace corvix
