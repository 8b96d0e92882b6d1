#include "CommandPacket.h"

#include <algorithm>

namespace devlink {

CommandHeader HeaderFor(std::uint8_t command) {
    return {COMMAND_MARKER, 0, 0, command};
}

std::optional<CommandPacket> BuildCommandPacket(const CommandHeader& header,
                                                const std::uint8_t* payload, std::size_t length) {
    if (length > MAX_PAYLOAD || (length > 0 && payload == nullptr))
        return std::nullopt;
    CommandPacket packet;
    std::copy(header.begin(), header.end(), packet.bytes.begin());
    std::copy(payload, payload + length, packet.bytes.begin() + HEADER_SIZE);
    packet.inputLength = static_cast<std::uint32_t>(HEADER_SIZE + length);
    return packet;
}

Payload ResetKeyMapPayload(int first, int second) {
    Payload payload;
    payload.bytes[0] = static_cast<std::uint8_t>(first & 0xFF);
    payload.bytes[1] = static_cast<std::uint8_t>(second & 0xFF);
    payload.length = 2;
    return payload;
}

Payload ResetKeyMapExPayload(const std::uint8_t* data, int length) {
    const std::size_t count = static_cast<std::size_t>(length & 0xFF);
    Payload payload;
    payload.bytes[0] = static_cast<std::uint8_t>(count);
    if (count > 0)
        std::copy(data, data + count, payload.bytes.begin() + 1);
    // the four trailing zero bytes are already there
    payload.length = 1 + count + 4;
    return payload;
}

std::optional<KeyEvent> KeyEventFromReply(const PacketBuffer& reply, std::uint32_t bytesReturned) {
    if (bytesReturned != 4)
        return std::nullopt;
    return KeyEvent{reply[2], reply[3]};
}

bool RequestAccepted(bool succeeded, std::uint32_t lastError) {
    return succeeded || lastError == ERROR_SEM_TIMEOUT_CODE;
}

bool DeviceGone(std::uint32_t lastError) {
    constexpr std::uint32_t ERROR_DEV_NOT_EXIST_CODE = 55;
    constexpr std::uint32_t ERROR_NO_SUCH_DEVICE_CODE = 433;
    constexpr std::uint32_t ERROR_DEVICE_NOT_CONNECTED_CODE = 1167;
    constexpr std::uint32_t ERROR_DEVICE_REMOVED_CODE = 1617;
    return lastError == ERROR_DEV_NOT_EXIST_CODE || lastError == ERROR_NO_SUCH_DEVICE_CODE ||
           lastError == ERROR_DEVICE_NOT_CONNECTED_CODE || lastError == ERROR_DEVICE_REMOVED_CODE;
}

} // namespace devlink
