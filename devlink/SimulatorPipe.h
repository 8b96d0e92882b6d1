// The pipe between the simulated keyboard process and its clients (the
// simulator port inside the device link, the KeyboardSim command line and the
// tests). Every wait on it is bounded, or ends with the given stop event.
#pragma once

#include "SimulatorWire.h"

#include "framework/Handles.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devlink::sim {

// Found by this well-known name, never by a path, so the simulated library
// works wherever it is copied.
extern const char SIMULATOR_PIPE_NAME[];

constexpr DWORD CONNECT_TIMEOUT_MS = 2000;
constexpr DWORD COMMAND_TIMEOUT_MS = 5000;
// Longer than any delay a test asks of the keyboard.
constexpr DWORD CONTROL_TIMEOUT_MS = 10000;

// Overlapped message I/O on one pipe handle, one operation at a time.
class CPipeIo {
  public:
    // stopEvent, when given, ends any wait early.
    explicit CPipeIo(HANDLE pipe, HANDLE stopEvent = nullptr);
    CPipeIo(const CPipeIo&) = delete;
    CPipeIo& operator=(const CPipeIo&) = delete;

    bool Write(const std::vector<std::uint8_t>& message, DWORD timeoutMs);
    // One whole message of at most limit bytes.
    bool Read(std::vector<std::uint8_t>& message, std::size_t limit, DWORD timeoutMs);
    // Why the last operation failed.
    DWORD Error() const { return m_error; }

  private:
    bool Finish(BOOL started, OVERLAPPED& overlapped, DWORD timeoutMs, DWORD& transferred);

    HANDLE m_pipe;
    HANDLE m_stopEvent;
    qx::unique_handle m_event;
    DWORD m_error = 0;
};

// A connection to the running simulated keyboard, in message read mode;
// invalid when none answers within timeoutMs.
qx::unique_hfile ConnectToSimulator(DWORD timeoutMs);

// Sends one request and waits for its reply. Nothing, with error set, when
// the keyboard is gone or did not answer in time.
std::optional<WireReply> Transact(HANDLE pipe, WireRequest request, DWORD timeoutMs, DWORD& error);

struct CommandResult {
    DWORD exitCode = 0;
    std::string text;
};

// A connection to the running keyboard for any number of command lines.
class CSimulatorConnection {
  public:
    // Runs one command line ("press 1 1"); nothing when no keyboard runs or
    // it did not answer (the connection is then made anew next time).
    std::optional<CommandResult> Run(const std::string& commandLine);

  private:
    qx::unique_hfile m_pipe;
};

// Runs one command line on a connection of its own.
std::optional<CommandResult> RunSimulatorCommand(const std::string& commandLine);

} // namespace devlink::sim
