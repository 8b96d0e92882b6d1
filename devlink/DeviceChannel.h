// The shared block and the pair of events through which the requests of one
// open simulated device travel between the simulated library and KeyboardSim.
// One request costs the polling thread a single wait.
#pragma once

#include "SimulatorWire.h"

#include "framework/Handles.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace devlink::sim {

class CDeviceChannel {
  public:
    // KeyboardSim's side: makes the objects. Null when they cannot be made.
    static std::unique_ptr<CDeviceChannel> Create(DWORD serverProcessId, std::uint32_t connection);
    // The library's side: opens them, and KeyboardSim's process so that its
    // end is noticed at once. Null when they are not there.
    static std::unique_ptr<CDeviceChannel> Open(DWORD serverProcessId, std::uint32_t connection);

    CDeviceChannel(const CDeviceChannel&) = delete;
    CDeviceChannel& operator=(const CDeviceChannel&) = delete;

    DeviceBlock& Block() { return *m_block; }
    HANDLE RequestEvent() const { return m_request.get(); }
    HANDLE ReplyEvent() const { return m_reply.get(); }

    // The library's side: hands over the request in the block and waits for
    // its reply. False, with error set, when KeyboardSim is gone or late.
    bool Call(DWORD timeoutMs, DWORD& error);

  private:
    struct ViewTraits {
        using Type = void*;
        static void* Invalid() { return nullptr; }
        static void Close_(void* view) { UnmapViewOfFile(view); }
    };

    CDeviceChannel() = default;
    bool MapBlock();

    qx::unique_handle m_section;
    qx::unique_any<ViewTraits> m_view;
    DeviceBlock* m_block = nullptr;
    qx::unique_handle m_request; // auto-reset: a request waits in the block
    qx::unique_handle m_reply;   // auto-reset: its reply does
    qx::unique_handle m_server;  // KeyboardSim's process, on the library's side
    std::uint32_t m_sequence = 0;
};

} // namespace devlink::sim
