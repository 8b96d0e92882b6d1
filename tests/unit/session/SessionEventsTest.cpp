#include "session/SessionEvents.h"

#include <gtest/gtest.h>

#include <string>

using namespace qx;

namespace {

TEST(LqnmodSessionEvents, OnlyConsoleDisconnectAndConnectReachTheClient) {
    ClientMessages messages;
    messages.disconnected = {8625, 1, 1};
    messages.connected = {8625, 0, 0};
    // 3 to 9: remote connect and disconnect, logon, logoff, lock, unlock, remote control.
    for (std::uintptr_t code = 0; code <= 10; ++code) {
        SCOPED_TRACE("event " + std::to_string(code));
        const ClientMessage* message = MessageForSessionEvent(messages, code);
        if (code == CONSOLE_DISCONNECT)
            EXPECT_EQ(&messages.disconnected, message);
        else if (code == CONSOLE_CONNECT)
            EXPECT_EQ(&messages.connected, message);
        else
            EXPECT_EQ(nullptr, message);
    }
}

TEST(LqnmodSessionEvents, EventCodesBeyond32BitsAreNotMistakenForConsoleEvents) {
    const ClientMessages messages;
    const std::uint64_t high = std::uint64_t{1} << 32;
    if (sizeof(std::uintptr_t) < sizeof high)
        GTEST_SKIP() << "event codes are 32-bit here";
    EXPECT_EQ(nullptr, MessageForSessionEvent(messages, static_cast<std::uintptr_t>(high | 1)));
    EXPECT_EQ(nullptr, MessageForSessionEvent(messages, static_cast<std::uintptr_t>(high | 2)));
}

} // namespace
