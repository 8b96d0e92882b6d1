// Messages between the simulator port (or the KeyboardSim command line) and
// the simulated keyboard process: discovery, opening and command lines as the
// bytes of one pipe message each, and the shared block through which an open
// device's requests travel. Plain logic; decoding refuses anything malformed
// or oversized.
#pragma once

#include "CommandPacket.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devlink::sim {

enum class MessageKind : std::uint8_t {
    Discover = 1, // how many interfaces are present
    Open = 2,     // bind this connection to interface `index`
    Command = 3,  // one command line (the words joined by spaces)
};

constexpr std::size_t MAX_COMMAND_TEXT = 4096;
constexpr std::size_t MAX_REPLY_TEXT = 16u << 20;

struct WireRequest {
    std::uint32_t sequence = 0;
    MessageKind kind = MessageKind::Discover;
    std::uint32_t index = 0; // Open
    std::string text;        // Command
};

struct WireReply {
    std::uint32_t sequence = 0;
    MessageKind kind = MessageKind::Discover;
    std::uint32_t interfaces = 0;      // Discover
    bool succeeded = false;            // Open
    std::uint32_t serverProcessId = 0; // Open: with the connection, names the
    std::uint32_t connection = 0;      // device's shared objects
    std::uint32_t exitCode = 0;        // Command
    std::string text;                  // Command
};

// An open device's requests go through a block of shared memory and a pair
// of events instead of the pipe: far fewer system calls for each poll.
struct DeviceBlock {
    std::uint32_t requestSequence;
    std::uint32_t controlCode;
    std::uint32_t replySize;   // of the buffer the client offered
    std::uint32_t inputLength; // at most PACKET_SIZE
    std::uint8_t input[PACKET_SIZE];
    std::uint32_t replySequence; // the request this reply answers
    std::uint32_t succeeded;
    std::uint32_t error;
    std::uint32_t bytesReturned; // at most PACKET_SIZE
    std::uint8_t data[PACKET_SIZE];
};

// Name of one of a device's shared objects ("Block", "Request", "Reply").
std::string DeviceObjectName(std::uint32_t serverProcessId, std::uint32_t connection,
                             const char* part);

std::vector<std::uint8_t> EncodeRequest(const WireRequest& request);
std::optional<WireRequest> DecodeRequest(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> EncodeReply(const WireReply& reply);
std::optional<WireReply> DecodeReply(const std::vector<std::uint8_t>& bytes);

} // namespace devlink::sim
