#include "devlink/CommandPacket.h"

#include <gtest/gtest.h>

#include <vector>

using namespace devlink;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sent(const CommandPacket& packet) {
    return Bytes(packet.bytes.begin(), packet.bytes.begin() + packet.inputLength);
}

Bytes PayloadBytes(const Payload& payload) {
    return Bytes(payload.bytes.begin(), payload.bytes.begin() + payload.length);
}

TEST(DevlinkCommandPacket, HeaderThenPayloadInAZeroedBuffer) {
    const std::uint8_t payload[3] = {7, 8, 9};
    struct Case {
        const char* label;
        std::size_t length;
        Bytes sent;
    } cases[] = {
        {"no payload", 0, {254, 0, 0, 34}},
        {"two bytes", 2, {254, 0, 0, 34, 7, 8}},
        {"three bytes", 3, {254, 0, 0, 34, 7, 8, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto packet = BuildCommandPacket(HeaderFor(CMD_RESET_KEYMAP), payload, c.length);
        ASSERT_TRUE(packet);
        EXPECT_EQ(c.sent, Sent(*packet));
        for (std::size_t i = c.sent.size(); i < PACKET_SIZE; ++i)
            ASSERT_EQ(0, packet->bytes[i]) << "byte " << i;
    }
}

TEST(DevlinkCommandPacket, PayloadMustFitTheBuffer) {
    const std::vector<std::uint8_t> payload(MAX_PAYLOAD + 1, 0xAB);
    const auto largest = BuildCommandPacket(HeaderFor(CMD_RESET), payload.data(), MAX_PAYLOAD);
    ASSERT_TRUE(largest);
    EXPECT_EQ(PACKET_SIZE, largest->inputLength);
    EXPECT_EQ(0xAB, largest->bytes[PACKET_SIZE - 1]);
    EXPECT_FALSE(BuildCommandPacket(HeaderFor(CMD_RESET), payload.data(), MAX_PAYLOAD + 1));
    EXPECT_FALSE(BuildCommandPacket(HeaderFor(CMD_RESET), nullptr, 1));
}

TEST(DevlinkCommandPacket, ResetKeyMapSendsTheLowBytes) {
    struct Case {
        int first, second;
        Bytes payload;
    } cases[] = {
        {0x1234, 0x5678, {0x34, 0x78}},
        {0, 255, {0x00, 0xFF}},
        {256, -1, {0x00, 0xFF}},
        {-2, 0x7FFFFFFF, {0xFE, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << ", " << c.second);
        EXPECT_EQ(c.payload, PayloadBytes(ResetKeyMapPayload(c.first, c.second)));
    }
}

TEST(DevlinkCommandPacket, ResetKeyMapExSendsCountDataAndFourZeros) {
    std::vector<std::uint8_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i + 1);
    struct Case {
        int length;
        std::size_t count;
    } cases[] = {{0, 0}, {3, 3}, {255, 255}, {256, 0}, {258, 2}, {300, 44}, {-1, 255}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes expected = {static_cast<std::uint8_t>(c.count)};
        expected.insert(expected.end(), data.begin(), data.begin() + c.count);
        expected.insert(expected.end(), 4, 0);
        const Payload payload = ResetKeyMapExPayload(data.data(), c.length);
        EXPECT_EQ(expected, PayloadBytes(payload));
        const auto packet = BuildCommandPacket(HeaderFor(CMD_RESET_KEYMAP_EX), payload.bytes.data(),
                                               payload.length);
        ASSERT_TRUE(packet);
        EXPECT_EQ(9 + c.count, packet->inputLength);
    }
}

TEST(DevlinkCommandPacket, PollReplyIsAnEventOnlyWithExactlyFourBytes) {
    PacketBuffer reply{};
    reply[0] = 9;
    reply[1] = 9;
    reply[2] = 255;
    reply[3] = 128;
    reply[4] = 77;
    for (std::uint32_t returned : {0u, 1u, 3u, 5u, 400u}) {
        SCOPED_TRACE(returned);
        EXPECT_FALSE(KeyEventFromReply(reply, returned));
    }
    const auto event = KeyEventFromReply(reply, 4);
    ASSERT_TRUE(event);
    EXPECT_EQ(255u, event->code) << "byte 2 is zero-extended";
    EXPECT_EQ(128u, event->state);
}

TEST(DevlinkCommandPacket, RequestIsAcceptedOnSuccessOrSemaphoreTimeOut) {
    struct Case {
        bool succeeded;
        std::uint32_t error;
        bool accepted;
    } cases[] = {
        {true, 0, true},   {true, 31, true},   {false, 121, true},
        {false, 0, false}, {false, 31, false}, {false, 1167, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.succeeded << " " << c.error);
        EXPECT_EQ(c.accepted, RequestAccepted(c.succeeded, c.error));
    }
}

} // namespace
