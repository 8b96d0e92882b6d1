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
    struct CDevice;
    struct CLoad;

    static DWORD WINAPI PollThreadProc(void* pLoad);
    int PollEvent(CLoad& load, CDevice& device);
    DWORD PollOrLookAgain(CLoad& load);
    bool ReopenDevice(CLoad& load);
    void Deliver(CLoad& load, const devlink::KeyEvent& event);
    bool Superseded(const CLoad& load) const;
    bool StartPollThread(CLoad& load);
    static bool WaitForPollThread(HANDLE hThread, DWORD dwTimeoutMs);
    static void ReportPollThreadStuck(DWORD dwError);
    DeviceReply Issue(HANDLE hDevice, const devlink::CommandPacket& packet,
                      devlink::PacketBuffer& reply);
    void SetLoad(CLoad* pLoad);
    CDevice* HoldDevice(CLoad* pLoad);
    int ReleaseDevice(CDevice* pDevice);
    void DropDevice(CLoad& load, CDevice* pDevice);
    int Release(CLoad* pLoad);

    // Carries the requests and closes devices; each load discovers with its own.
    CDevicePort m_port;
    qx::unique_handle m_hPollThread;
    // Lets one polling thread at a time send its key event: an old thread an
    // unload gave up on may still hold one when the next load's thread has
    // its own. Made on the first load.
    qx::unique_handle m_hDeliveryLock;
    // The number of the newest load; an older load's late event is dropped.
    std::atomic<unsigned> m_nNewestLoad{0};
    // The current load, null while unloaded. Guarded by m_loadLock with the
    // holder counts of every load and device; the lock is never held across
    // a request.
    CLoad* m_pLoad = nullptr;
    CRITICAL_SECTION m_loadLock;
};
