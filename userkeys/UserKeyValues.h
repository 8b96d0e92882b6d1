// How the bytes of a stored value become an entry's type and command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "Type": the first four bytes as a little-endian number, whatever the
// value's registry type; a shorter value gives its bytes, zero-extended.
std::int32_t TypeFromValue(const unsigned char* bytes, std::size_t size);

// "Command": the text up to its first zero byte. A value that fills the read
// buffer without a zero cannot be read whole and gives the empty text.
std::string CommandFromValue(const unsigned char* bytes, std::size_t size);

// Whether a command can be stored and read back whole.
bool CommandFitsStore(const std::string& command);
