// The simulated keyboard's command line: parsing the words and carrying out
// the commands that act on the keyboard. Plain logic.
#pragma once

#include "SimulatedKeyboard.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devlink::sim {

enum class Verb {
    Serve,
    Start,
    Stop,
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

// Carries out a command that acts on the keyboard (not serve, start or stop)
// and gives the text to print.
std::string ExecuteOn(SimulatedKeyboard& keyboard, const SimulatorCommand& command);

} // namespace devlink::sim
