// How a dialog's message table picks the entry for a message. Plain logic,
// shared by the dialog procedure and the native tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx {

constexpr unsigned kCommandMessage = 0x0111; // WM_COMMAND
constexpr unsigned kAnyNotification = 0xFFFFFFFFu;

struct MessageKey {
    unsigned message;
    unsigned idFirst; // WM_COMMAND only: control or menu id range
    unsigned idLast;
    unsigned notification; // WM_COMMAND only: HIWORD(wParam), or kAnyNotification
};

inline bool MessageKeyMatches(const MessageKey& key, unsigned message, std::uintptr_t wParam) {
    if (key.message != message)
        return false;
    if (message != kCommandMessage)
        return true;
    const unsigned id = wParam & 0xFFFF;
    const unsigned notification = (wParam >> 16) & 0xFFFF;
    return id >= key.idFirst && id <= key.idLast &&
           (key.notification == kAnyNotification || key.notification == notification);
}

// Index of the first entry that takes the message, or count when none does.
template <typename Entry>
std::size_t FindMessageEntry(const Entry* entries, std::size_t count, unsigned message,
                             std::uintptr_t wParam) {
    for (std::size_t i = 0; i < count; ++i) {
        if (MessageKeyMatches(entries[i].key, message, wParam))
            return i;
    }
    return count;
}

} // namespace qx
