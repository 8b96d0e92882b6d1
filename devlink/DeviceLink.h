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
    // Made when the library is loaded and destroyed when a client frees it.
    // No polling thread is left by then: each holds the library while it runs.
    CDeviceLink();
    ~CDeviceLink();
    CDeviceLink(const CDeviceLink&) = delete;
    CDeviceLink& operator=(const CDeviceLink&) = delete;

    int LoadDriver(HWND hTargetWnd);
    int UnloadDriver();
    int SendCommand(const devlink::CommandHeader& header, const BYTE* pPayload,
                    std::size_t nLength);

  private:
    struct CLoad;

    static DWORD WINAPI PollThreadProc(void* pLoad);
    int PollEvent(CLoad& load);
    bool StartPollThread(CLoad& load);
    bool WaitForPollThread(DWORD dwTimeoutMs);
    static void ReportPollThreadStuck(DWORD dwError);
    DeviceReply Issue(HANDLE hDevice, const devlink::CommandPacket& packet,
                      devlink::PacketBuffer& reply);
    void SetLoad(CLoad* pLoad);
    CLoad* HoldLoad();
    int Release(CLoad* pLoad);

    CDevicePort m_port;
    qx::unique_handle m_hPollThread;
    // Ends the polling thread's pause between two polls early, so that
    // UnloadDriver need not wait out the rest of it. Made on the first load.
    qx::unique_handle m_hPollWake;
    std::atomic<bool> m_bUnloading{false};
    // The current load, null while unloaded. Guarded by m_loadLock with the
    // holder counts of every load; the lock is never held across a request.
    CLoad* m_pLoad = nullptr;
    CRITICAL_SECTION m_loadLock;
};
