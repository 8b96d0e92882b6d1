#include "devlink/SimulatorCommand.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace devlink::sim;

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream stream(line);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

TEST(DevlinkSimulatorCommand, RefusesWhatItCannotCarryOut) {
    const char* lines[] = {
        "",           "frobnicate",      "press 1",         "press 1 2 3",     "press 256 1",
        "press 1 -1", "press x 1",       "press 1 1x",      "queue",           "queue 1",
        "queue 1:",   "queue 1:1 2:300", "reply error=abc", "reply 0 0 7 256", "interfaces 9",
        "fault 31",   "fault 31 1 256",  "fault 31 1 33 4", "delay 60001",     "delay 10 x",
        "unplug now", "log all",
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

TEST(DevlinkSimulatorCommand, KeyEventsBecomeFourByteReplies) {
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

TEST(DevlinkSimulatorCommand, NumbersOfFaultsDelaysAndReplies) {
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

    const auto reply = ParseSimulatorCommand(Words("reply error=4294967295 0 0 7 1"));
    ASSERT_TRUE(reply.command);
    EXPECT_EQ(4294967295u, reply.command->replies[0].error);
}

TEST(DevlinkSimulatorCommand, CarriedOutOnTheKeyboard) {
    SimulatedKeyboard keyboard;
    const auto run = [&](const char* line) {
        const ParsedCommand parsed = ParseSimulatorCommand(Words(line));
        EXPECT_TRUE(parsed.command) << line;
        return parsed.command ? ExecuteOn(keyboard, *parsed.command) : std::string();
    };
    EXPECT_EQ("queued 2\n", run("queue 1:1 2:2"));
    run("unplug");
    EXPECT_EQ(0u, keyboard.Discover());
    run("plug");
    run("interfaces 3");
    EXPECT_EQ(3u, keyboard.Discover());
    EXPECT_NE(std::string::npos, run("status").find("interfaces=3 queued=0"));
    EXPECT_NE(std::string::npos, run("log").find("discover interfaces=3"));
    run("clear");
    EXPECT_EQ("", run("log"));
    EXPECT_NE(std::string::npos, run("help").find("press CODE STATE"));
}

} // namespace
