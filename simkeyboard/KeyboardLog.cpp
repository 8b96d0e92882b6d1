#include "KeyboardLog.h"

#include <algorithm>
#include <cstdio>

namespace simkeyboard {

namespace {

std::string HexBytes(const unsigned char* bytes, unsigned count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 2);
    for (unsigned i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

std::string RequestText(const QXSIM_RECORD& record) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", record.controlCode);
    const unsigned logged = std::min<unsigned>(record.inputLength, QXSIM_PACKET_SIZE);
    const unsigned returned = std::min<unsigned>(record.returned, QXSIM_PACKET_SIZE);
    std::string text = "request connection=" + std::to_string(record.connection) +
                       " ioctl=" + code + " in=" + std::to_string(record.inputLength) +
                       " out=" + std::to_string(record.replySize) +
                       " data=" + HexBytes(record.input, logged) + " -> ";
    text += record.succeeded ? std::string("ok") : "error=" + std::to_string(record.error);
    text += " returned=" + std::to_string(record.returned);
    if (returned > 0)
        text += " reply=" + HexBytes(record.reply, returned);
    return text;
}

} // namespace

std::string StatusLine(const QXSIM_STATUS& status) {
    return "plugged=" + std::to_string(status.plugged) +
           " interfaces=" + std::to_string(status.interfaces) +
           " queued=" + std::to_string(status.queued) + " open=" + std::to_string(status.open) +
           " in-flight=" + std::to_string(status.inFlight) +
           " waiting=" + std::to_string(status.waiting) +
           " faults=" + std::to_string(status.faults) + " delay=" + std::to_string(status.delayMs) +
           " requests=" + std::to_string(status.requests);
}

std::string RecordLine(const QXSIM_RECORD& record) {
    std::string text = "#" + std::to_string(record.number) + " ";
    switch (record.kind) {
    case QXSIM_RECORD_REQUEST:
        return text + RequestText(record);
    case QXSIM_RECORD_OPEN:
        return text + "open connection=" + std::to_string(record.connection) +
               " interface=" + std::to_string(record.interfaceIndex);
    case QXSIM_RECORD_CLOSE:
        return text + "close connection=" + std::to_string(record.connection);
    default:
        return text + "unknown record";
    }
}

} // namespace simkeyboard
