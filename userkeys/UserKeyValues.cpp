#include "UserKeyValues.h"

#include "UserKeyEntry.h"

#include <algorithm>
#include <cstring>

std::int32_t TypeFromValue(const unsigned char* bytes, std::size_t size) {
    std::uint32_t number = 0;
    const std::size_t used = std::min<std::size_t>(size, 4);
    for (std::size_t i = 0; i < used; ++i)
        number |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return static_cast<std::int32_t>(number);
}

std::string CommandFromValue(const unsigned char* bytes, std::size_t size) {
    const std::size_t readable = std::min(size, USERKEY_VALUE_BUFFER);
    if (const void* zero = std::memchr(bytes, 0, readable))
        return std::string(reinterpret_cast<const char*>(bytes),
                           static_cast<const unsigned char*>(zero) - bytes);
    // A full buffer without a zero may go on past it, and a cut could end
    // inside a double-byte character: such a command reads as empty.
    if (readable == USERKEY_VALUE_BUFFER)
        return std::string();
    return std::string(reinterpret_cast<const char*>(bytes), readable);
}

bool CommandFitsStore(const std::string& command) {
    return command.size() <= USERKEY_MAX_COMMAND;
}
