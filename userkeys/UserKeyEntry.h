// One programmable key's binding, as the store keeps it. Plain data, shared by
// the store, the configuration program and the resident program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Values of "Type".
constexpr std::int32_t USERKEY_NONE = 0;    // not set
constexpr std::int32_t USERKEY_URL = 1;     // a web address
constexpr std::int32_t USERKEY_PROGRAM = 2; // a program's path

// Below HKEY_CURRENT_USER; one subkey per key, named by its display name.
constexpr char USERKEYS_ROOT_PATH[] = "Software\\Morvel\\QX-310\\User Keys";

// Every value is read into a buffer of this size, so a command that can be
// read back holds at most USERKEY_MAX_COMMAND bytes plus its terminating zero.
constexpr std::size_t USERKEY_VALUE_BUFFER = 300;
constexpr std::size_t USERKEY_MAX_COMMAND = USERKEY_VALUE_BUFFER - 1;

struct UserKeyEntry {
    std::string name; // "Prog 1" or "Prog 2", also the subkey's name
    std::int32_t type = USERKEY_NONE;
    std::string command;
};
