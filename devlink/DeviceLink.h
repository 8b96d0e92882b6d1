// The one process-wide link to the keyboard: discovery, the command channel,
// the polling thread and the key-event message.
#pragma once

#include "CommandPacket.h"
#include "DevicePort.h"

#include "framework/Handles.h"

#include <windows.h>

#include <atomic>
#include <cstddef>

class CDeviceLink {
  public:
    explicit CDeviceLink(IDevicePort& port);
    CDeviceLink(const CDeviceLink&) = delete;
    CDeviceLink& operator=(const CDeviceLink&) = delete;
    // Releases nothing: a client unloads before it lets the library go.
    ~CDeviceLink();

    int LoadDriver(HWND hTargetWnd);
    int UnloadDriver();
    int SendCommand(const devlink::CommandHeader& header, const BYTE* pPayload,
                    std::size_t nLength);
    int PollEvent();

  private:
    static DWORD WINAPI PollThreadProc(void* pLink);
    int Discover();
    int OpenDevice();
    void ReleaseDeviceSet();
    int CloseDevice();
    DeviceReply Issue(const devlink::CommandPacket& packet, devlink::PacketBuffer& reply);
    bool WaitForPollThread(DWORD dwTimeoutMs);
    static void ReportPollThreadStuck();

    IDevicePort& m_port;
    qx::unique_handle m_hPollThread;
    HWND m_hTargetWnd = nullptr;
    std::atomic<int> m_nLoaded{0};
    std::atomic<bool> m_bUnloading{false};
    int m_nInterfaceCount = 0;
    HANDLE m_hDevice = nullptr; // closed through the port, whose result UnloadDriver returns
    // Held across each request and across the device's release, so a command
    // on another thread never uses a closed (or re-used) handle.
    CRITICAL_SECTION m_deviceLock;
};
