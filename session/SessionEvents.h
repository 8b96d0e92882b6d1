// Which session-change events reach the client, and as which messages.
// Plain logic.
#pragma once

#include <cstdint>

namespace qx {

constexpr unsigned SESSION_CHANGE_MESSAGE = 0x02B1; // WM_WTSSESSION_CHANGE
constexpr unsigned CONSOLE_CONNECT = 1;             // WTS_CONSOLE_CONNECT
constexpr unsigned CONSOLE_DISCONNECT = 2;          // WTS_CONSOLE_DISCONNECT

// One message as the client asked to receive it.
struct ClientMessage {
    std::uint32_t message;
    std::uint32_t wParam;
    std::int32_t lParam;
};

// The pair of messages a client receives. Until it chooses its own, it gets the
// power broadcast (536): "may we suspend?" (0) when the session leaves the
// console and "resumed" (7) when it returns.
struct ClientMessages {
    ClientMessage disconnected{536, 0, 0};
    ClientMessage connected{536, 7, 0};
};

// The message for a session-change event, or null for the events the client
// is not told about (remote sessions, logon and logoff, lock and unlock ...).
const ClientMessage* MessageForSessionEvent(const ClientMessages& messages,
                                            std::uintptr_t eventCode);

} // namespace qx
