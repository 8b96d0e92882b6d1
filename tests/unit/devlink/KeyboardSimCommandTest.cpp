#include "simkeyboard/KeyboardLog.h"
#include "simkeyboard/SimulatorCommand.h"

#include <cstring>

#include <gtest/gtest.h>

#include <sstream>

using namespace simkeyboard;

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream stream(line);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

TEST(KeyboardSimCommand, RefusesWhatItCannotCarryOut) {
    const char* lines[] = {
        "",
        "frobnicate",
        "press 1",
        "press 1 2 3",
        "press 256 1",
        "press 1 -1",
        "press x 1",
        "press 1 1x",
        "queue",
        "queue 1",
        "queue 1:",
        "queue 1:1 2:300",
        "reply error=abc",
        "reply 0 0 7 256",
        "interfaces 5",
        "fault 31",
        "fault 31 1 256",
        "fault 31 1 33 4",
        "delay 60001",
        "delay 10 x",
        "unplug now",
        "log all",
        "fault 65536 1",
        "reply error=65536",
        "install x",
        "serve",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        const ParsedCommand parsed = ParseSimulatorCommand(Words(line));
        EXPECT_FALSE(parsed.command);
        EXPECT_FALSE(parsed.error.empty());
    }
    std::vector<std::string> longest(401, "1");
    longest[0] = "reply";
    EXPECT_TRUE(ParseSimulatorCommand(longest).command) << "400 bytes fit";
    longest.push_back("1");
    EXPECT_FALSE(ParseSimulatorCommand(longest).command) << "401 bytes do not";
}

TEST(KeyboardSimCommand, KeyEventsBecomeFourByteReplies) {
    struct Case {
        const char* line;
        std::vector<std::vector<std::uint8_t>> replies;
    } cases[] = {
        {"press 1 1", {{0, 0, 1, 1}}},
        {"press 0xFF 0", {{0, 0, 255, 0}}},
        {"queue 12:0 15:0 0x10:1", {{0, 0, 12, 0}, {0, 0, 15, 0}, {0, 0, 16, 1}}},
        {"reply", {{}}},
        {"reply 9 9 69 1 0", {{9, 9, 69, 1, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const ParsedCommand parsed = ParseSimulatorCommand(Words(c.line));
        ASSERT_TRUE(parsed.command) << parsed.error;
        ASSERT_EQ(c.replies.size(), parsed.command->replies.size());
        for (std::size_t i = 0; i < c.replies.size(); ++i) {
            EXPECT_EQ(c.replies[i], parsed.command->replies[i].bytes);
            EXPECT_EQ(0u, parsed.command->replies[i].error);
        }
    }
}

TEST(KeyboardSimCommand, NumbersOfFaultsDelaysAndReplies) {
    const auto fault = ParseSimulatorCommand(Words("fault 121 3 0x24"));
    ASSERT_TRUE(fault.command);
    EXPECT_EQ(Verb::Fault, fault.command->verb);
    EXPECT_EQ(121u, fault.command->number);
    EXPECT_EQ(3u, fault.command->count);
    EXPECT_EQ(std::optional<std::uint8_t>(36), fault.command->command);

    const auto delay = ParseSimulatorCommand(Words("delay 400"));
    ASSERT_TRUE(delay.command);
    EXPECT_EQ(400u, delay.command->number);
    EXPECT_FALSE(delay.command->command);

    const auto reply = ParseSimulatorCommand(Words("reply error=0xFFFF 0 0 7 1"));
    ASSERT_TRUE(reply.command);
    EXPECT_EQ(65535u, reply.command->replies[0].error);
}

// Tests and people read the driver's log and status in these exact words.
TEST(KeyboardSimLog, RecordsAndStatusInTheirLineFormat) {
    QXSIM_RECORD request = {};
    request.number = 12;
    request.kind = QXSIM_RECORD_REQUEST;
    request.connection = 3;
    request.controlCode = 0x000B0008;
    request.inputLength = 6;
    request.replySize = 400;
    request.succeeded = 1;
    const unsigned char input[] = {0xFE, 0, 0, 0x22, 0x34, 0x78};
    std::memcpy(request.input, input, sizeof input);
    EXPECT_EQ("#12 request connection=3 ioctl=000B0008 in=6 out=400 data=FE0000223478 -> ok "
              "returned=0",
              RecordLine(request));

    request.succeeded = 0;
    request.error = 121;
    request.returned = 4;
    const unsigned char reply[] = {0, 0, 0xFF, 1};
    std::memcpy(request.reply, reply, sizeof reply);
    EXPECT_EQ("#12 request connection=3 ioctl=000B0008 in=6 out=400 data=FE0000223478 -> "
              "error=121 returned=4 reply=0000FF01",
              RecordLine(request));

    request.inputLength = 1000; // as the caller offered it; only a packet's worth is kept
    EXPECT_EQ(2 * QXSIM_PACKET_SIZE,
              RecordLine(request).find(" -> ") - (RecordLine(request).find("data=") + 5));

    QXSIM_RECORD close = {};
    close.number = 13;
    close.kind = QXSIM_RECORD_CLOSE;
    close.connection = 3;
    EXPECT_EQ("#13 close connection=3", RecordLine(close));

    QXSIM_STATUS status = {1, 2, 3, 1, 1, 0, 400, 2, 1234567890123ull};
    EXPECT_EQ("plugged=1 interfaces=2 queued=3 open=1 in-flight=1 waiting=2 faults=0 delay=400 "
              "requests=1234567890123",
              StatusLine(status));
}

} // namespace
