#include "session/SessionEvents.h"

namespace qx {

const ClientMessage* MessageForSessionEvent(const ClientMessages& messages,
                                            std::uintptr_t eventCode) {
    if (eventCode == kConsoleDisconnect)
        return &messages.disconnected;
    if (eventCode == kConsoleConnect)
        return &messages.connected;
    return nullptr;
}

} // namespace qx
