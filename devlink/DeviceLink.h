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
    // Made once when the library is loaded and never destroyed: a client
    // unloads before it lets the library go, so there is nothing to release
    // at process detach.
    explicit CDeviceLink(CDevicePort& port);
    CDeviceLink(const CDeviceLink&) = delete;
    CDeviceLink& operator=(const CDeviceLink&) = delete;

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
    bool DeviceStillClosing();
    DeviceReply Issue(const devlink::CommandPacket& packet, devlink::PacketBuffer& reply);
    bool WaitForPollThread(DWORD dwTimeoutMs);
    static void ReportPollThreadStuck();

    CDevicePort& m_port;
    qx::unique_handle m_hPollThread;
    // Ends the polling thread's pause between two polls early, so that
    // UnloadDriver need not wait out the rest of it. Made on the first load.
    qx::unique_handle m_hPollWake;
    HWND m_hTargetWnd = nullptr;
    std::atomic<int> m_nLoaded{0};
    std::atomic<bool> m_bUnloading{false};
    int m_nInterfaceCount = 0;
    HANDLE m_hDevice = nullptr; // closed through the port, whose result UnloadDriver returns
    // Requests under way on the device handle, which stays open until the
    // last of them returns: a driver may hold a request for any time, and
    // closing must not wait for it.
    int m_nRequestsUnderWay = 0;
    HANDLE m_hClosingDevice = nullptr; // given up, closed when the last request returns
    // Guards the three fields above; never held across a request.
    CRITICAL_SECTION m_deviceLock;
};
