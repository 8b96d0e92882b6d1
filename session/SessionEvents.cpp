#include "session/SessionEvents.h"

namespace qx {

const ClientMessage* MessageForSessionEvent(const ClientMessages& messages,
                                            std::uintptr_t eventCode) {
    if (eventCode == CONSOLE_DISCONNECT)
        return &messages.disconnected;
    if (eventCode == CONSOLE_CONNECT)
        return &messages.connected;
    return nullptr;
}

} // namespace qx
