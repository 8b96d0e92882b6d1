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
// loaded flag. Beside the link, not in it: the library has always kept one
// flag for the whole process, which any polling thread it started follows.
std::atomic<int> g_nRunFlag{0};

std::string LibraryName() {
    char path[MAX_PATH];
    const DWORD length =
        GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return "TarvoltXP";
    return qx::ProgramNameFromPath(std::string(path, length));
}

} // namespace

CDeviceLink::CDeviceLink(CDevicePort& port) : m_port(port) {
    InitializeCriticalSection(&m_deviceLock);
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
    // Nor while a request held by the driver still runs on the last device.
    if (DeviceStillClosing())
        return 0;
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
    if (!m_hPollWake)
        m_hPollWake.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ResetEvent(m_hPollWake.get());
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
    SetEvent(m_hPollWake.get());
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
        if (WaitForSingleObject(link->m_hPollWake.get(), POLL_PERIOD_MS) == WAIT_FAILED)
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

// The device handle is taken under the lock but the request runs outside it,
// so that closing never waits for a request the driver holds; the handle
// stays open until the request returns.
DeviceReply CDeviceLink::Issue(const CommandPacket& packet, PacketBuffer& reply) {
    HANDLE hDevice = nullptr;
    {
        qx::critical_section_lock lock(m_deviceLock);
        if (!m_hDevice) {
            DeviceReply result;
            result.lastError = ERROR_INVALID_HANDLE; // no device: nothing is contacted
            return result;
        }
        hDevice = m_hDevice;
        ++m_nRequestsUnderWay;
    }
    const DeviceReply result =
        m_port.Control(hDevice, IOCTL_DEVICELINK, packet.bytes.data(), packet.inputLength,
                       reply.data(), static_cast<DWORD>(reply.size()));
    qx::critical_section_lock lock(m_deviceLock);
    if (--m_nRequestsUnderWay == 0 && m_hClosingDevice) {
        m_port.CloseDevice(m_hClosingDevice);
        m_hClosingDevice = nullptr;
    }
    return result;
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
        qx::critical_section_lock lock(m_deviceLock);
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

// Forgets the device at once, so no later command reaches it. A request still
// under way keeps the handle open until it returns, and that request closes it.
int CDeviceLink::CloseDevice() {
    qx::critical_section_lock lock(m_deviceLock);
    const HANDLE hDevice = m_hDevice;
    if (!hDevice)
        return 0;
    m_hDevice = nullptr;
    if (m_nRequestsUnderWay > 0) {
        m_hClosingDevice = hDevice;
        return 1;
    }
    return m_port.CloseDevice(hDevice) ? 1 : 0;
}

bool CDeviceLink::DeviceStillClosing() {
    qx::critical_section_lock lock(m_deviceLock);
    return m_hClosingDevice != nullptr;
}
