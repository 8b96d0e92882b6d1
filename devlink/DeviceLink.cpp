#include "DeviceLink.h"

#include "TarvoltXP.h"

#include "framework/ProgramName.h"

#include <cstdio>
#include <string>

using namespace devlink;

// This module, whichever name the library file has been given.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr DWORD POLL_PERIOD_MS = 10;
constexpr DWORD POLL_THREAD_END_TIMEOUT_MS = 3000;
// The line number the message box has always shown; users quote it.
constexpr int POLL_THREAD_STUCK_LINE = 125;

// Tells the polling thread to go on; cleared by UnloadDriver after the
// loaded flag. Process-wide, outside the link object.
std::atomic<int> g_nRunFlag{0};

// Ends the polling thread's pause between two polls early, so that
// UnloadDriver need not wait out the rest of it. Made once for the process.
qx::unique_handle g_hPollWake;

class CDeviceLock {
  public:
    explicit CDeviceLock(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
    CDeviceLock(const CDeviceLock&) = delete;
    CDeviceLock& operator=(const CDeviceLock&) = delete;
    ~CDeviceLock() { LeaveCriticalSection(&m_lock); }

  private:
    CRITICAL_SECTION& m_lock;
};

std::string LibraryName() {
    char path[MAX_PATH];
    const DWORD length =
        GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return "TarvoltXP";
    return qx::ProgramNameFromPath(std::string(path, length));
}

} // namespace

CDeviceLink::CDeviceLink(IDevicePort& port) : m_port(port) {
    InitializeCriticalSection(&m_deviceLock);
}

CDeviceLink::~CDeviceLink() {
    DeleteCriticalSection(&m_deviceLock);
}

int CDeviceLink::LoadDriver(HWND hTargetWnd) {
    // A key event let through while UnloadDriver waits may come back here:
    // the link is not free before that unload has closed the device.
    if (m_nLoaded != 0 || m_bUnloading)
        return 0;
    // The polling thread of an earlier load whose unload timed out still
    // follows the run flag: no new load before it ends.
    if (m_hPollThread) {
        if (WaitForSingleObject(m_hPollThread.get(), 0) != WAIT_OBJECT_0)
            return 0;
        m_hPollThread.reset();
    }
    m_hTargetWnd = nullptr;
    m_nInterfaceCount = 0;
    if (!Discover()) {
        m_nLoaded = 0;
        return 0;
    }
    if (!OpenDevice()) {
        ReleaseDeviceSet();
        m_nLoaded = 0;
        return 0;
    }
    if (!g_hPollWake)
        g_hPollWake.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ResetEvent(g_hPollWake.get());
    m_nLoaded = 1;
    m_hTargetWnd = hTargetWnd;
    g_nRunFlag = 1;
    m_hPollThread.reset(CreateThread(nullptr, 0, PollThreadProc, this, 0, nullptr));
    if (!m_hPollThread) {
        m_nLoaded = 0;
        g_nRunFlag = 0;
        ReleaseDeviceSet();
        CloseDevice();
        return 0;
    }
    return 1;
}

int CDeviceLink::UnloadDriver() {
    if (m_nLoaded == 0)
        return 0;
    m_nLoaded = 0;
    g_nRunFlag = 0;
    m_bUnloading = true;
    SetEvent(g_hPollWake.get());
    if (WaitForPollThread(POLL_THREAD_END_TIMEOUT_MS))
        m_hPollThread.reset();
    else
        ReportPollThreadStuck();
    ReleaseDeviceSet();
    const int nClosed = CloseDevice();
    m_bUnloading = false;
    return nClosed;
}

// Waits for the polling thread to end while letting through a key event that
// it is sending to a window of this thread: otherwise the thread could not
// end before the time-out whenever the client unloads from its own window's
// thread.
bool CDeviceLink::WaitForPollThread(DWORD dwTimeoutMs) {
    const HANDLE hThread = m_hPollThread.get();
    const DWORD dwStart = GetTickCount();
    for (;;) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD dwElapsed = GetTickCount() - dwStart;
        const DWORD dwRemaining = dwElapsed >= dwTimeoutMs ? 0 : dwTimeoutMs - dwElapsed;
        const DWORD dwResult =
            MsgWaitForMultipleObjects(1, &hThread, FALSE, dwRemaining, QS_SENDMESSAGE);
        if (dwResult == WAIT_OBJECT_0)
            return true;
        if (dwResult != WAIT_OBJECT_0 + 1 || dwRemaining == 0)
            return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
    }
}

void CDeviceLink::ReportPollThreadStuck() {
    const DWORD dwError = GetLastError();
    char text[64];
    std::snprintf(text, sizeof text, "Error Code: %d (Ln: %d)", static_cast<int>(dwError),
                  POLL_THREAD_STUCK_LINE);
    MessageBoxA(nullptr, text, LibraryName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

DWORD WINAPI CDeviceLink::PollThreadProc(void* pLink) {
    auto* link = static_cast<CDeviceLink*>(pLink);
    while (g_nRunFlag != 0) {
        link->PollEvent();
        // Sleeps 10 ms, or less once UnloadDriver has cleared the flag.
        if (WaitForSingleObject(g_hPollWake.get(), POLL_PERIOD_MS) == WAIT_FAILED)
            Sleep(POLL_PERIOD_MS);
    }
    return 0;
}

int CDeviceLink::PollEvent() {
    if (m_nLoaded == 0)
        return 0;
    const auto packet = BuildCommandPacket(HeaderFor(CMD_POLL_EVENT), nullptr, 0);
    PacketBuffer reply{};
    const DeviceReply result = Issue(*packet, reply);
    if (!RequestAccepted(result.succeeded != FALSE, result.lastError))
        return 0;
    const auto event = KeyEventFromReply(reply, result.bytesReturned);
    if (!event)
        return 0;
    if (m_hTargetWnd)
        SendMessageA(m_hTargetWnd, WM_DEVICEKEY, event->code, event->state);
    return 1;
}

int CDeviceLink::SendCommand(const CommandHeader& header, const BYTE* pPayload,
                             std::size_t nLength) {
    const auto packet = BuildCommandPacket(header, pPayload, nLength);
    if (!packet)
        return 0;
    PacketBuffer reply{};
    const DeviceReply result = Issue(*packet, reply);
    return RequestAccepted(result.succeeded != FALSE, result.lastError) ? 1 : 0;
}

DeviceReply CDeviceLink::Issue(const CommandPacket& packet, PacketBuffer& reply) {
    CDeviceLock lock(m_deviceLock);
    DeviceReply result;
    if (!m_hDevice) {
        result.lastError = ERROR_INVALID_HANDLE; // no device: nothing is contacted
        return result;
    }
    return m_port.Control(m_hDevice, IOCTL_DEVICELINK, packet.bytes.data(), packet.inputLength,
                          reply.data(), static_cast<DWORD>(reply.size()));
}

int CDeviceLink::Discover() {
    ReleaseDeviceSet();
    m_nInterfaceCount = m_port.DiscoverInterfaces();
    return m_nInterfaceCount > 0 ? 1 : 0;
}

int CDeviceLink::OpenDevice() {
    if (m_nInterfaceCount == 0)
        return 0;
    CloseDevice();
    // Only the first interface is ever used, however many keyboards are present.
    const HANDLE hDevice = m_port.OpenInterface(0);
    {
        CDeviceLock lock(m_deviceLock);
        m_hDevice = hDevice;
    }
    if (!hDevice)
        return 0;
    SendCommand(HeaderFor(CMD_RESET), nullptr, 0); // its result does not matter
    return 1;
}

void CDeviceLink::ReleaseDeviceSet() {
    m_port.ReleaseInterfaceSet();
    m_nInterfaceCount = 0;
}

int CDeviceLink::CloseDevice() {
    CDeviceLock lock(m_deviceLock);
    if (!m_hDevice)
        return 0;
    const BOOL closed = m_port.CloseDevice(m_hDevice);
    m_hDevice = nullptr;
    return closed ? 1 : 0;
}
