// The command packets sent to the keyboard's driver and the reading of its
// replies. Plain logic, shared by the library and its tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace devlink {

// Every request goes through this one control code: device type 0x000B
// (keyboard), function 2, buffered, no access rights.
constexpr std::uint32_t IOCTL_DEVICELINK = 0x000B0008;

constexpr std::uint8_t COMMAND_MARKER = 254;

enum CommandByte : std::uint8_t {
    CMD_RESET = 0,
    CMD_POLL_EVENT = 33,
    CMD_RESET_KEYMAP = 34,
    CMD_RESET_KEYMAP_EX = 35,
    CMD_RELOAD_KEYMAP = 36,
};

// Requests and replies are built in fixed buffers of this size.
constexpr std::size_t PACKET_SIZE = 400;
constexpr std::size_t HEADER_SIZE = 4;
constexpr std::size_t MAX_PAYLOAD = PACKET_SIZE - HEADER_SIZE;

// Driver's "semaphore time-out": the request counts as accepted all the same.
constexpr std::uint32_t ERROR_SEM_TIMEOUT_CODE = 121;

using CommandHeader = std::array<std::uint8_t, HEADER_SIZE>;
using PacketBuffer = std::array<std::uint8_t, PACKET_SIZE>;

// {254, 0, 0, command}
CommandHeader HeaderFor(std::uint8_t command);

struct CommandPacket {
    PacketBuffer bytes{};
    std::uint32_t inputLength = 0;
};

// Header then payload in a zeroed buffer; input length 4 + length. Nothing
// when the payload does not fit.
std::optional<CommandPacket> BuildCommandPacket(const CommandHeader& header,
                                                const std::uint8_t* payload, std::size_t length);

struct Payload {
    std::array<std::uint8_t, MAX_PAYLOAD> bytes{};
    std::size_t length = 0;
};

// {first & 0xFF, second & 0xFF}
Payload ResetKeyMapPayload(int first, int second);

// n = length & 0xFF, then n data bytes, then four zero bytes. data must hold
// n readable bytes when n > 0.
Payload ResetKeyMapExPayload(const std::uint8_t* data, int length);

struct KeyEvent {
    unsigned int code = 0;  // reply byte 2, 0 to 255
    unsigned int state = 0; // reply byte 3, 0 to 255
};

// A poll reply is an event only when exactly 4 bytes came back.
std::optional<KeyEvent> KeyEventFromReply(const PacketBuffer& reply, std::uint32_t bytesReturned);

// The driver accepted the request: it succeeded, or failed with error 121.
bool RequestAccepted(bool succeeded, std::uint32_t lastError);

// The error says the keyboard is no longer there (unplugged or removed), not
// that one request failed: ERROR_DEVICE_NOT_CONNECTED and its kin.
bool DeviceGone(std::uint32_t lastError);

} // namespace devlink
