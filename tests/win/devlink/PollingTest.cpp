// Key events from the polling thread to the target window.
#include "LinkFixture.h"

using namespace devlinktest;

namespace {

class DevlinkPolling : public KeyboardLinkTest {};

constexpr unsigned MARKER = 200;

struct Key {
    unsigned code;
    unsigned state;
    bool operator==(const Key& other) const { return code == other.code && state == other.state; }
};

std::ostream& operator<<(std::ostream& out, const Key& key) {
    return out << "{" << key.code << ", " << key.state << "}";
}

TEST_F(DevlinkPolling, OnlyAReplyOfExactlyFourBytesBecomesAnEvent) {
    struct Case {
        const char* reply; // arguments of the keyboard's "reply" command
        std::vector<Key> delivered;
    } cases[] = {
        {"9 9 69 1", {{69, 1}}}, // bytes 0 and 1 make no difference
        {"0 0 255 255", {{255, 255}}},
        {"0 0 0 0", {{0, 0}}},
        {"", {}},
        {"0 0 7", {}},
        {"0 0 7 1 0", {}},
        {"error=121 0 0 70 2", {{70, 2}}},
        {"error=121", {}},
        {"error=31 0 0 71 3", {}},
        {"error=1167 0 0 72 4", {}},
    };
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    // Each reply is followed by a marker event, so every case ends in a key.
    unsigned index = 0;
    for (const Case& c : cases) {
        m_keyboard.Must(std::string("reply ") + c.reply);
        m_keyboard.Must("press " + std::to_string(MARKER) + " " + std::to_string(index++));
    }
    ASSERT_TRUE(qxtest::WaitUntil(
        [&] {
            const auto keys = m_recorder.Keys();
            return !keys.empty() && keys.back().code == MARKER && keys.back().state == index - 1;
        },
        10000));

    std::vector<std::vector<Key>> delivered(1);
    for (const ReceivedKey& key : m_recorder.Keys()) {
        if (key.code == MARKER)
            delivered.emplace_back();
        else
            delivered.back().push_back({key.code, key.state});
    }
    ASSERT_EQ(std::size(cases) + 1, delivered.size());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(std::string("reply ") + cases[i].reply);
        EXPECT_EQ(cases[i].delivered, delivered[i]);
    }
}

TEST_F(DevlinkPolling, EventsArriveInOrderOneAtATimeOnTheWindowsThread) {
    constexpr unsigned COUNT = 30;
    // A slow handler that lets through anything else sent meanwhile.
    m_recorder.OnKey([](const ReceivedKey&) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(5);
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    });
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    std::string queue = "queue";
    for (unsigned code = 1; code <= COUNT; ++code)
        queue += " " + std::to_string(code) + ":" + std::to_string(code % 2);
    m_keyboard.Must(queue);
    ASSERT_TRUE(WaitForKeys(COUNT, 10000));

    const std::vector<ReceivedKey> keys = m_recorder.Keys();
    ASSERT_EQ(COUNT, keys.size());
    for (unsigned i = 0; i < COUNT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(i + 1, keys[i].code);
        EXPECT_EQ((i + 1) % 2, keys[i].state);
        EXPECT_EQ(GetCurrentThreadId(), keys[i].threadId);
        EXPECT_EQ(1, keys[i].depth) << "a key event arrived while another was handled";
    }
}

TEST_F(DevlinkPolling, NullWindowPollsAndTakesEventsWithoutDelivering) {
    ASSERT_EQ(1, m_link.LoadDriver(nullptr));
    m_keyboard.Must("press 5 1");
    ASSERT_TRUE(qxtest::WaitUntil([&] { return StatusField("queued") == 0; }, 5000))
        << "the event was never fetched";
    m_keyboard.Must("clear");
    EXPECT_TRUE(WaitForPolls(3)) << "polling stopped after an event with no window";
    EXPECT_TRUE(m_recorder.Keys().empty());
}

} // namespace
