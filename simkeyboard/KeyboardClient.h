// The simulated keyboard's driver seen from user mode: installing it as a
// root-enumerated device, and carrying out KeyboardSim's commands through its
// control device. Shared by KeyboardSim and the tests.
#pragma once

#include "SimulatorCommand.h"

#include <optional>
#include <string>

namespace simkeyboard {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_NO_KEYBOARD = 1;
constexpr int EXIT_BAD_COMMAND_LINE = 2;

struct CommandOutcome {
    int exitCode = EXIT_NO_KEYBOARD;
    std::string text; // what to print: on standard output when done, else standard error
};

// Installs the driver from the INF (its .sys beside it) unless it is there
// already, then waits, bounded, until the keyboard's interface is present,
// installing again a few seconds apart while it is not.
CommandOutcome InstallDriver(const std::string& infPath);
// Removes the keyboard's device.
CommandOutcome RemoveDriver();

// Carries out a command that acts on the installed keyboard.
CommandOutcome Execute(const SimulatorCommand& command);

// The path of the keyboard's first present interface, if any.
std::optional<std::string> KeyboardInterfacePath();

// Has the driver send its first keyboard a request built in kernel mode,
// which carries no file object; the status the request ended with, or
// nothing when the driver does not answer.
std::optional<long> RequestWithoutFileObject();

// Parses one command line ("press 1 1") and carries it out.
CommandOutcome Run(const std::string& commandLine);

} // namespace simkeyboard
