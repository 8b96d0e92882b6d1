#include "DeviceChannel.h"

namespace devlink::sim {

namespace {

// The first wait is short, so that a KeyboardSim that has gone is noticed
// without a second wait in the usual case of a prompt reply.
constexpr DWORD FIRST_WAIT_MS = 50;

std::string Name(DWORD serverProcessId, std::uint32_t connection, const char* part) {
    return DeviceObjectName(serverProcessId, connection, part);
}

} // namespace

bool CDeviceChannel::MapBlock() {
    m_view.reset(MapViewOfFile(m_section.get(), FILE_MAP_WRITE, 0, 0, sizeof(DeviceBlock)));
    m_block = static_cast<DeviceBlock*>(m_view.get());
    return m_block != nullptr;
}

std::unique_ptr<CDeviceChannel> CDeviceChannel::Create(DWORD serverProcessId,
                                                       std::uint32_t connection) {
    std::unique_ptr<CDeviceChannel> channel(new CDeviceChannel);
    channel->m_section.reset(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DeviceBlock),
                           Name(serverProcessId, connection, "Block").c_str()));
    channel->m_request.reset(
        CreateEventA(nullptr, FALSE, FALSE, Name(serverProcessId, connection, "Request").c_str()));
    channel->m_reply.reset(
        CreateEventA(nullptr, FALSE, FALSE, Name(serverProcessId, connection, "Reply").c_str()));
    if (!channel->m_section || !channel->m_request || !channel->m_reply || !channel->MapBlock())
        return nullptr;
    return channel;
}

std::unique_ptr<CDeviceChannel> CDeviceChannel::Open(DWORD serverProcessId,
                                                     std::uint32_t connection) {
    std::unique_ptr<CDeviceChannel> channel(new CDeviceChannel);
    channel->m_section.reset(OpenFileMappingA(FILE_MAP_WRITE, FALSE,
                                              Name(serverProcessId, connection, "Block").c_str()));
    const DWORD eventAccess = EVENT_MODIFY_STATE | SYNCHRONIZE;
    channel->m_request.reset(
        OpenEventA(eventAccess, FALSE, Name(serverProcessId, connection, "Request").c_str()));
    channel->m_reply.reset(
        OpenEventA(eventAccess, FALSE, Name(serverProcessId, connection, "Reply").c_str()));
    channel->m_server.reset(OpenProcess(SYNCHRONIZE, FALSE, serverProcessId));
    if (!channel->m_section || !channel->m_request || !channel->m_reply || !channel->m_server ||
        !channel->MapBlock())
        return nullptr;
    return channel;
}

bool CDeviceChannel::Call(DWORD timeoutMs, DWORD& error) {
    const std::uint32_t sequence = ++m_sequence;
    m_block->requestSequence = sequence;
    const DWORD start = GetTickCount();
    DWORD result = SignalObjectAndWait(m_request.get(), m_reply.get(), FIRST_WAIT_MS, FALSE);
    for (;;) {
        // A reply that came too late for an earlier request is passed over.
        if (result == WAIT_OBJECT_0 && m_block->replySequence == sequence)
            return true;
        if (result == WAIT_OBJECT_0 + 1) {
            error = ERROR_DEVICE_NOT_CONNECTED; // KeyboardSim has ended
            return false;
        }
        if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT) {
            error = GetLastError();
            return false;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            error = ERROR_TIMEOUT;
            return false;
        }
        const HANDLE waits[2] = {m_reply.get(), m_server.get()};
        result = WaitForMultipleObjects(2, waits, FALSE, timeoutMs - elapsed);
    }
}

} // namespace devlink::sim
