#include "devlink/CommandPacket.h"
#include "devlink/SimulatedKeyboard.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace devlink;
using namespace devlink::sim;

namespace {

using Bytes = std::vector<std::uint8_t>;

DeviceRequest Request(std::uint32_t connection, std::uint8_t command, Bytes payload = {},
                      std::uint32_t replySize = 400) {
    Bytes input(HEADER_SIZE + payload.size());
    input[0] = COMMAND_MARKER;
    input[3] = command;
    std::copy(payload.begin(), payload.end(), input.begin() + HEADER_SIZE);
    return DeviceRequest{connection, IOCTL_DEVICELINK, input, replySize};
}

class DevlinkSimulatedKeyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(1u, keyboard.Discover());
        ASSERT_TRUE(keyboard.Open(1, 0));
    }
    DeviceAnswer Poll(std::uint32_t connection = 1) {
        return keyboard.Answer(Request(connection, CMD_POLL_EVENT));
    }
    std::string LastLogLine() const {
        const std::string log = keyboard.LogText();
        const std::size_t end = log.rfind('\n');
        const std::size_t start = log.rfind('\n', end - 1);
        return log.substr(start == std::string::npos ? 0 : start + 1, end - start - 1);
    }
    SimulatedKeyboard keyboard;
};

TEST_F(DevlinkSimulatedKeyboard, PollsHandOutQueuedRepliesOnceAndInOrder) {
    keyboard.Queue({{0, 0, 1, 1}, 0});
    keyboard.Queue({{9, 9, 2, 0, 5}, 0});
    keyboard.Queue({{0, 0, 3, 1}, 121});
    const DeviceAnswer first = Poll();
    EXPECT_TRUE(first.succeeded);
    EXPECT_EQ((Bytes{0, 0, 1, 1}), first.data);
    EXPECT_EQ((Bytes{9, 9, 2, 0, 5}), Poll().data);
    const DeviceAnswer third = Poll();
    EXPECT_FALSE(third.succeeded);
    EXPECT_EQ(121u, third.error);
    EXPECT_EQ((Bytes{0, 0, 3, 1}), third.data) << "a time-out still returns its bytes";
    const DeviceAnswer empty = Poll();
    EXPECT_TRUE(empty.succeeded);
    EXPECT_TRUE(empty.data.empty());
}

TEST_F(DevlinkSimulatedKeyboard, ReplyIsCutToTheBufferOffered) {
    keyboard.Queue({{0, 0, 1, 1, 7, 7}, 0});
    EXPECT_EQ((Bytes{0, 0, 1}), keyboard.Answer(Request(1, CMD_POLL_EVENT, {}, 3)).data);
}

TEST_F(DevlinkSimulatedKeyboard, RequestsAreCheckedLikeADriverWould) {
    DeviceRequest wrongCode = Request(1, CMD_RESET);
    wrongCode.controlCode = 0x000B0004;
    DeviceRequest wrongMarker = Request(1, CMD_RESET);
    wrongMarker.input[0] = 0xFD;
    DeviceRequest tooShort = Request(1, CMD_RESET);
    tooShort.input.resize(3);
    struct Case {
        const char* label;
        DeviceRequest request;
        bool succeeded;
        std::uint32_t error;
    } cases[] = {
        {"reset", Request(1, CMD_RESET), true, 0},
        {"key map", Request(1, CMD_RESET_KEYMAP, {1, 2}), true, 0},
        {"key map ex", Request(1, CMD_RESET_KEYMAP_EX, {0, 0, 0, 0, 0}), true, 0},
        {"reload", Request(1, CMD_RELOAD_KEYMAP), true, 0},
        {"unknown command", Request(1, 99), false, ERROR_INVALID_FUNCTION_CODE},
        {"other control code", wrongCode, false, ERROR_INVALID_FUNCTION_CODE},
        {"wrong marker", wrongMarker, false, ERROR_INVALID_PARAMETER_CODE},
        {"short packet", tooShort, false, ERROR_INVALID_PARAMETER_CODE},
        {"never opened", Request(7, CMD_RESET), false, ERROR_INVALID_HANDLE_CODE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const DeviceAnswer answer = keyboard.Answer(c.request);
        EXPECT_EQ(c.succeeded, answer.succeeded);
        EXPECT_EQ(c.error, answer.error);
        EXPECT_TRUE(answer.data.empty());
    }
}

TEST_F(DevlinkSimulatedKeyboard, UnpluggedDevicesStayDeadAfterPlugBack) {
    keyboard.Queue({{0, 0, 1, 1}, 0});
    keyboard.Unplug();
    EXPECT_EQ(0u, keyboard.Discover());
    EXPECT_FALSE(keyboard.Open(2, 0));
    EXPECT_EQ(ERROR_DEVICE_NOT_CONNECTED_CODE, Poll().error);

    keyboard.Plug();
    EXPECT_EQ(ERROR_DEVICE_NOT_CONNECTED_CODE, Poll().error) << "the old device came back";
    ASSERT_EQ(1u, keyboard.Discover());
    ASSERT_TRUE(keyboard.Open(3, 0));
    const DeviceAnswer answer = Poll(3);
    EXPECT_TRUE(answer.succeeded);
    EXPECT_TRUE(answer.data.empty()) << "events queued before the unplug survived it";
}

TEST_F(DevlinkSimulatedKeyboard, FaultsCountDownAndMayTargetOneCommand) {
    keyboard.AddFault(31, 2, CMD_RELOAD_KEYMAP);
    keyboard.AddFault(121, 1, std::nullopt);
    keyboard.Queue({{0, 0, 1, 1}, 0});
    const DeviceAnswer poll = Poll();
    EXPECT_EQ(121u, poll.error) << "the fault for any command";
    EXPECT_TRUE(poll.data.empty()) << "a failed request takes no event";
    EXPECT_TRUE(Poll().succeeded);
    EXPECT_EQ(31u, keyboard.Answer(Request(1, CMD_RELOAD_KEYMAP)).error);
    EXPECT_TRUE(keyboard.Answer(Request(1, CMD_RESET)).succeeded);
    EXPECT_EQ(31u, keyboard.Answer(Request(1, CMD_RELOAD_KEYMAP)).error);
    EXPECT_TRUE(keyboard.Answer(Request(1, CMD_RELOAD_KEYMAP)).succeeded);
}

TEST_F(DevlinkSimulatedKeyboard, DelayAppliesToTheChosenCommand) {
    keyboard.SetDelay(300, CMD_RESET_KEYMAP);
    EXPECT_EQ(300u, keyboard.Answer(Request(1, CMD_RESET_KEYMAP, {1, 2})).delayMs);
    EXPECT_EQ(0u, Poll().delayMs);
    keyboard.SetDelay(MAX_DELAY_MS + 1, std::nullopt);
    EXPECT_EQ(MAX_DELAY_MS, Poll().delayMs);
    keyboard.SetDelay(0, std::nullopt);
    EXPECT_EQ(0u, Poll().delayMs);
}

TEST_F(DevlinkSimulatedKeyboard, InterfacesAreBoundedAndOpenedByIndex) {
    keyboard.SetInterfaces(2);
    EXPECT_EQ(2u, keyboard.Discover());
    EXPECT_TRUE(keyboard.Open(4, 1));
    EXPECT_FALSE(keyboard.Open(5, 2));
    keyboard.SetInterfaces(1000);
    EXPECT_EQ(MAX_INTERFACES, keyboard.Discover());
}

TEST_F(DevlinkSimulatedKeyboard, LogShowsEachPacketWithLengthsAndResult) {
    keyboard.Queue({{0, 0, 0x45, 1}, 121});
    Poll();
    EXPECT_NE(std::string::npos,
              LastLogLine().find("request connection=1 ioctl=000B0008 in=4 out=400 data=FE000021 "
                                 "-> error=121 returned=4 reply=00004501"))
        << LastLogLine();
    keyboard.Answer(Request(1, CMD_RESET_KEYMAP, {0x34, 0x78}));
    EXPECT_NE(std::string::npos,
              LastLogLine().find("in=6 out=400 data=FE0000223478 -> ok returned=0"))
        << LastLogLine();
    keyboard.Close(1);
    EXPECT_NE(std::string::npos, LastLogLine().find("close connection=1"));
}

TEST_F(DevlinkSimulatedKeyboard, LogKeepsTheNewestLinesAndSaysHowManyWentFirst) {
    keyboard.ClearLog();
    for (std::size_t i = 0; i < LOG_LIMIT + 5; ++i)
        Poll();
    const std::string log = keyboard.LogText();
    EXPECT_EQ(0u, log.find("(5 earlier lines dropped)\n"));
    EXPECT_EQ(LOG_LIMIT + 1, static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')));
    keyboard.ClearLog();
    EXPECT_EQ("", keyboard.LogText());
}

TEST_F(DevlinkSimulatedKeyboard, StatusCountsWhatTheTestsWaitFor) {
    keyboard.Queue({{0, 0, 1, 1}, 0});
    keyboard.Answer(Request(1, CMD_RESET));
    EXPECT_EQ("plugged=1 interfaces=1 queued=1 open=1 in-flight=1 faults=0 delay=0 requests=1\n",
              keyboard.Status());
    keyboard.AnswerDelivered();
    keyboard.Close(1);
    keyboard.Unplug();
    EXPECT_EQ("plugged=0 interfaces=1 queued=0 open=0 in-flight=0 faults=0 delay=0 requests=1\n",
              keyboard.Status());
    keyboard.Reset();
    EXPECT_EQ(1u, keyboard.Discover()) << "reset plugs the keyboard back";
}

} // namespace
