// KeyboardSim's command line: the words parsed into one command for the
// simulated keyboard's driver. Plain logic.
#pragma once

#include "KeyboardControl.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simkeyboard {

constexpr unsigned MAX_INTERFACES = QXSIM_MAX_INTERFACES;
constexpr std::uint32_t MAX_DELAY_MS = 60000;
constexpr std::size_t MAX_REPLY_BYTES = 400;
// Win32 errors are 16-bit values; the driver hands each back as a status.
constexpr std::uint32_t MAX_ERROR = 0xFFFF;

// One reply to a poll, exactly as the driver will hand it over.
struct PollReply {
    std::vector<std::uint8_t> bytes; // at most 400
    std::uint32_t error = 0;         // 0: the request succeeds
};

enum class Verb {
    Install,
    Remove,
    Status,
    Press,
    Queue,
    Reply,
    Unplug,
    Plug,
    Interfaces,
    Fault,
    Delay,
    Log,
    Clear,
    Reset,
    Help,
};

struct SimulatorCommand {
    Verb verb = Verb::Help;
    std::vector<PollReply> replies;      // press, queue, reply
    std::uint32_t number = 0;            // interfaces, fault's error, delay's milliseconds
    std::uint32_t count = 0;             // fault's count
    std::optional<std::uint8_t> command; // fault and delay: only this command byte
};

struct ParsedCommand {
    std::optional<SimulatorCommand> command;
    std::string error; // why the words were refused
};

ParsedCommand ParseSimulatorCommand(const std::vector<std::string>& words);

// What the program prints for "help" and after a refused command line.
std::string UsageText();

} // namespace simkeyboard
