// What the keyboard receives from each export, and what the exports make of
// its answers.
#include "LinkFixture.h"

#include <functional>

using namespace devlinktest;

namespace {

using Bytes = std::vector<std::uint8_t>;

class DevlinkPackets : public KeyboardLinkTest {};

TEST_F(DevlinkPackets, CommandExportsSendTheirPacketAndAreAccepted) {
    ASSERT_EQ(1, m_link.LoadDriver(nullptr));
    std::vector<BYTE> data(300);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<BYTE>(i + 1);
    const auto header = [](int command) {
        return Bytes{254, 0, 0, static_cast<std::uint8_t>(command)};
    };
    const auto withPayload = [](Bytes bytes, const Bytes& payload) {
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        return bytes;
    };
    Bytes first44(data.begin(), data.begin() + 44);
    struct Case {
        const char* label;
        std::function<int()> call;
        Bytes sent;
    } cases[] = {
        {"ResetDevice", [&] { return m_link.ResetDevice(); }, header(0)},
        {"ReloadKeyMap", [&] { return m_link.ReloadKeyMap(); }, header(36)},
        {"ResetKeyMap low bytes", [&] { return m_link.ResetKeyMap(0x1234, 0x5678); },
         withPayload(header(34), {0x34, 0x78})},
        {"ResetKeyMap negative and 256", [&] { return m_link.ResetKeyMap(-1, 256); },
         withPayload(header(34), {0xFF, 0x00})},
        {"ResetKeyMapEx length 0", [&] { return m_link.ResetKeyMapEx(data.data(), 0); },
         withPayload(header(35), {0, 0, 0, 0, 0})},
        {"ResetKeyMapEx length 3", [&] { return m_link.ResetKeyMapEx(data.data(), 3); },
         withPayload(header(35), {3, 1, 2, 3, 0, 0, 0, 0})},
        {"ResetKeyMapEx length 258 sends 2", [&] { return m_link.ResetKeyMapEx(data.data(), 258); },
         withPayload(header(35), {2, 1, 2, 0, 0, 0, 0})},
        {"ResetKeyMapEx length 256 sends none",
         [&] { return m_link.ResetKeyMapEx(data.data(), 256); },
         withPayload(header(35), {0, 0, 0, 0, 0})},
        {"ResetKeyMapEx length 300 sends 44",
         [&] { return m_link.ResetKeyMapEx(data.data(), 300); },
         withPayload(withPayload(header(35), {44}), withPayload(first44, {0, 0, 0, 0}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m_keyboard.Must("clear");
        EXPECT_EQ(1, c.call());
        const std::vector<LoggedRequest> commands = LoggedCommands(Log());
        ASSERT_EQ(1u, commands.size());
        EXPECT_EQ(c.sent, commands[0].data);
        EXPECT_EQ(c.sent.size(), commands[0].inputLength);
        EXPECT_EQ(400u, commands[0].replySize);
        EXPECT_EQ("000B0008", commands[0].ioctl);
    }
}

TEST_F(DevlinkPackets, LoadDriverDiscoversOpensResetsThenPolls) {
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    ASSERT_TRUE(WaitForPolls(3));
    const std::vector<std::string> lines = LogLines(Log());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_NE(std::string::npos, lines[0].find(" open connection="));
    EXPECT_NE(std::string::npos, lines[0].find(" interface=0"));
    const std::vector<LoggedRequest> requests = Requests();
    EXPECT_EQ((Bytes{254, 0, 0, 0}), requests[0].data) << "the reset comes first";
    for (std::size_t i = 1; i < requests.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ((Bytes{254, 0, 0, 33}), requests[i].data);
        EXPECT_EQ(4u, requests[i].inputLength);
        EXPECT_EQ(400u, requests[i].replySize);
        EXPECT_EQ(requests[0].connection, requests[i].connection) << "one device for all";
    }
}

TEST_F(DevlinkPackets, AcceptanceFollowsTheDriversAnswer) {
    ASSERT_EQ(1, m_link.LoadDriver(nullptr));
    struct Case {
        const char* fault; // for the next ReloadKeyMap only
        int result;
    } cases[] = {
        {"", 1},
        {"fault 121 1 36", 1}, // semaphore time-out counts as accepted
        {"fault 31 1 36", 0},
        {"fault 1167 1 36", 0},
        {"fault 5 1 36", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        if (*c.fault)
            m_keyboard.Must(c.fault);
        EXPECT_EQ(c.result, m_link.ReloadKeyMap());
        EXPECT_EQ(1, m_link.ReloadKeyMap()) << "the device stays open after a failure";
    }
}

TEST_F(DevlinkPackets, CommandsWithoutALoadedLinkReturnZeroAndContactNothing) {
    const BYTE data[3] = {1, 2, 3};
    const auto allCommands = [&] {
        return std::vector<int>{m_link.ResetDevice(), m_link.ReloadKeyMap(),
                                m_link.ResetKeyMap(1, 2), m_link.ResetKeyMapEx(data, 3)};
    };
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), allCommands()) << "before any LoadDriver";

    ASSERT_EQ(1, m_link.LoadDriver(nullptr));
    ASSERT_NE(0, m_link.UnloadDriver());
    m_keyboard.Must("clear");
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), allCommands()) << "after UnloadDriver";
    EXPECT_TRUE(Requests().empty());
}

TEST_F(DevlinkPackets, ResetKeyMapExWithoutDataFailsInsteadOfReadingNothing) {
    ASSERT_EQ(1, m_link.LoadDriver(nullptr));
    m_keyboard.Must("clear");
    EXPECT_EQ(0, m_link.ResetKeyMapEx(nullptr, 3));
    EXPECT_TRUE(LoggedCommands(Log()).empty());
    EXPECT_EQ(1, m_link.ResetKeyMapEx(nullptr, 0)) << "length 0 needs no data";
}

} // namespace
