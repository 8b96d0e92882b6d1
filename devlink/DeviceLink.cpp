#include "DeviceLink.h"

#include "TarvoltXP.h"

#include "framework/ProgramName.h"

#include <cstdio>
#include <new>
#include <string>

using namespace devlink;

// This module, whichever name the library file has been given.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr DWORD POLL_PERIOD_MS = 10;
// While the keyboard is gone it is looked for once a second: a look costs a
// device enumeration and no request to the driver.
constexpr DWORD LOOK_AGAIN_PERIOD_MS = 1000;
// Gone errors in a row before the device is given up; one alone may be a
// glitch of the request, while a removed device fails every request.
constexpr int GONE_ERRORS_IN_A_ROW = 3;
constexpr DWORD POLL_THREAD_END_TIMEOUT_MS = 3000;
// The line number the message box has always shown; users quote it.
constexpr int POLL_THREAD_STUCK_LINE = 125;

HMODULE ThisModule() {
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

std::string LibraryName() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(ThisModule(), path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return "TarvoltXP";
    return qx::ProgramNameFromPath(std::string(path, length));
}

// One more reference to this library, taken by its own path.
bool HoldThisLibrary() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
    return length > 0 && length < MAX_PATH && LoadLibraryW(path) != nullptr;
}

} // namespace

// One opened handle of the keyboard. The load holds it while it is the
// load's device, a request while it is under way; the last of them closes it.
struct CDeviceLink::CDevice {
    explicit CDevice(HANDLE device) : hDevice(device) {}
    const HANDLE hDevice;
    int nHolders = 1; // under the link's lock
};

// What one LoadDriver started: the device, the window its key events go to,
// and the run flag of its polling thread. The link holds it while loaded,
// the polling thread while it runs; the last of them lets the device go. So
// a request the driver holds never keeps an unload waiting, and the next
// load opens the device afresh whatever the old one is still doing.
struct CDeviceLink::CLoad {
    CLoad(CDeviceLink& owner, HWND targetWnd)
        : link(owner), hTargetWnd(targetWnd), hWake(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

    CDeviceLink& link;
    const HWND hTargetWnd;
    unsigned nNumber = 0;
    // Cleared by UnloadDriver and tested before each request. One per load,
    // so a thread that outlived its unload never polls for a later load.
    std::atomic<int> nRunFlag{1};
    // Ends the polling thread's pause early, so that UnloadDriver need not
    // wait out the rest of it.
    qx::unique_handle hWake;
    // Null while the keyboard is gone; the polling thread looks for it again.
    CDevice* pDevice = nullptr; // under the link's lock
    int nHolders = 1;           // under the link's lock
    // Used by LoadDriver before the polling thread starts, then only by it.
    CDevicePort port;
    int nGoneInARow = 0;
};

CDeviceLink::CDeviceLink() {
    InitializeCriticalSection(&m_loadLock);
}

// Nothing is held here: each look lets its device set go once it has opened
// the device, and a loaded link's polling thread keeps the library from
// being freed.
CDeviceLink::~CDeviceLink() {
    DeleteCriticalSection(&m_loadLock);
}

// A key event let through while UnloadDriver waits may come back here: the
// link is unloaded by then, and the new load opens the device afresh.
int CDeviceLink::LoadDriver(HWND hTargetWnd) {
    if (m_pLoad)
        return 0;
    auto* load = new (std::nothrow) CLoad(*this, hTargetWnd);
    if (!load)
        return 0;
    if (!m_hDeliveryLock)
        m_hDeliveryLock.reset(CreateMutexA(nullptr, FALSE, nullptr));
    if (!m_hDeliveryLock || !load->hWake || !ReopenDevice(*load)) {
        delete load;
        return 0;
    }
    load->nNumber = ++m_nNewestLoad;
    SetLoad(load);
    SendCommand(HeaderFor(CMD_RESET), nullptr, 0); // its result does not matter
    if (!StartPollThread(*load)) {
        SetLoad(nullptr);
        Release(load);
        return 0;
    }
    return 1;
}

// Discovers the keyboard and opens its first interface as the load's device.
// Only the first interface is ever used, however many keyboards are present.
bool CDeviceLink::ReopenDevice(CLoad& load) {
    const HANDLE hDevice =
        load.port.DiscoverInterfaces() > 0 ? load.port.OpenInterface(0) : nullptr;
    load.port.ReleaseInterfaceSet();
    if (!hDevice)
        return false;
    auto* device = new (std::nothrow) CDevice(hDevice);
    if (!device) {
        m_port.CloseDevice(hDevice);
        return false;
    }
    qx::critical_section_lock lock(m_loadLock);
    load.pDevice = device;
    load.nGoneInARow = 0;
    return true;
}

// The thread's reference to the library is taken here, before the thread
// starts, so that a client freeing the library at once cannot unmap the code
// under it; the thread gives it back as it ends.
bool CDeviceLink::StartPollThread(CLoad& load) {
    if (!HoldThisLibrary())
        return false;
    {
        qx::critical_section_lock lock(m_loadLock);
        ++load.nHolders;
    }
    m_hPollThread.reset(CreateThread(nullptr, 0, PollThreadProc, &load, 0, nullptr));
    if (m_hPollThread)
        return true;
    Release(&load);
    FreeLibrary(ThisModule());
    return false;
}

// The link is unloaded before the wait, so a load from a key event let
// through meanwhile starts its own thread; this unload waits for its own.
int CDeviceLink::UnloadDriver() {
    CLoad* load = m_pLoad;
    if (!load)
        return 0;
    SetLoad(nullptr);
    load->nRunFlag = 0;
    SetEvent(load->hWake.get());
    qx::unique_handle hThread(m_hPollThread.release());
    const bool bEnded = WaitForPollThread(hThread.get(), POLL_THREAD_END_TIMEOUT_MS);
    const DWORD dwError = GetLastError();
    // A thread that did not end holds its load and the library, and ends by
    // itself once the driver or the target window lets it go.
    hThread.reset();
    const int nClosed = Release(load);
    if (!bEnded)
        ReportPollThreadStuck(dwError);
    return nClosed;
}

// Waits for the polling thread to end while letting through a key event that
// it is sending to a window of this thread: otherwise the thread could not
// end before the time-out whenever the client unloads from its own window's
// thread.
bool CDeviceLink::WaitForPollThread(HANDLE hThread, DWORD dwTimeoutMs) {
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

void CDeviceLink::ReportPollThreadStuck(DWORD dwError) {
    char text[64];
    std::snprintf(text, sizeof text, "Error Code: %d (Ln: %d)", static_cast<int>(dwError),
                  POLL_THREAD_STUCK_LINE);
    MessageBoxA(nullptr, text, LibraryName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

DWORD WINAPI CDeviceLink::PollThreadProc(void* pLoad) {
    auto& load = *static_cast<CLoad*>(pLoad);
    CDeviceLink& link = load.link;
    while (load.nRunFlag != 0) {
        const DWORD dwPauseMs = link.PollOrLookAgain(load);
        // Returns early once UnloadDriver has cleared the flag.
        if (WaitForSingleObject(load.hWake.get(), dwPauseMs) == WAIT_FAILED)
            Sleep(POLL_PERIOD_MS);
    }
    link.Release(&load);
    // When this is the library's last reference the library is freed here,
    // and nothing of it runs afterwards.
    FreeLibraryAndExitThread(ThisModule(), 0);
}

// One cycle: a poll of the device, or while it is gone a look for it. A
// device that keeps failing as removed is closed; the pause that follows.
DWORD CDeviceLink::PollOrLookAgain(CLoad& load) {
    CDevice* device = HoldDevice(&load);
    if (!device) {
        if (!ReopenDevice(load))
            return LOOK_AGAIN_PERIOD_MS;
        device = HoldDevice(&load);
        if (load.nRunFlag != 0) {
            const auto reset = BuildCommandPacket(HeaderFor(CMD_RESET), nullptr, 0);
            PacketBuffer reply{};
            Issue(device->hDevice, *reset, reply); // its result does not matter
        }
    } else {
        PollEvent(load, *device);
        if (load.nGoneInARow >= GONE_ERRORS_IN_A_ROW)
            DropDevice(load, device);
    }
    ReleaseDevice(device);
    return POLL_PERIOD_MS;
}

int CDeviceLink::PollEvent(CLoad& load, CDevice& device) {
    if (load.nRunFlag == 0)
        return 0;
    const auto packet = BuildCommandPacket(HeaderFor(CMD_POLL_EVENT), nullptr, 0);
    PacketBuffer reply{};
    const DeviceReply result = Issue(device.hDevice, *packet, reply);
    const bool bAccepted = RequestAccepted(result.succeeded != FALSE, result.lastError);
    load.nGoneInARow = !bAccepted && DeviceGone(result.lastError) ? load.nGoneInARow + 1 : 0;
    if (!bAccepted)
        return 0;
    const auto event = KeyEventFromReply(reply, result.bytesReturned);
    if (!event)
        return 0;
    Deliver(load, *event);
    return 1;
}

// One sender at a time, so that a window never gets an event inside the
// handler of another; a load that a newer one has replaced delivers nothing
// more, since its late event would come after the newer load's.
void CDeviceLink::Deliver(CLoad& load, const KeyEvent& event) {
    if (!load.hTargetWnd)
        return;
    const HANDLE hLock = m_hDeliveryLock.get();
    DWORD dwResult;
    do {
        if (Superseded(load))
            return;
        dwResult = WaitForSingleObject(hLock, POLL_PERIOD_MS);
    } while (dwResult == WAIT_TIMEOUT);
    if (dwResult == WAIT_FAILED)
        return;
    if (!Superseded(load))
        SendMessageA(load.hTargetWnd, WM_DEVICEKEY, event.code, event.state);
    ReleaseMutex(hLock);
}

bool CDeviceLink::Superseded(const CLoad& load) const {
    return load.nNumber != m_nNewestLoad;
}

int CDeviceLink::SendCommand(const CommandHeader& header, const BYTE* pPayload,
                             std::size_t nLength) {
    const auto packet = BuildCommandPacket(header, pPayload, nLength);
    if (!packet)
        return 0;
    CDevice* device = nullptr;
    {
        qx::critical_section_lock lock(m_loadLock);
        device = m_pLoad ? HoldDevice(m_pLoad) : nullptr;
    }
    if (!device)
        return 0; // no device: nothing is contacted
    PacketBuffer reply{};
    const DeviceReply result = Issue(device->hDevice, *packet, reply);
    ReleaseDevice(device);
    return RequestAccepted(result.succeeded != FALSE, result.lastError) ? 1 : 0;
}

DeviceReply CDeviceLink::Issue(HANDLE hDevice, const CommandPacket& packet, PacketBuffer& reply) {
    return m_port.Control(hDevice, IOCTL_DEVICELINK, packet.bytes.data(), packet.inputLength,
                          reply.data(), static_cast<DWORD>(reply.size()));
}

void CDeviceLink::SetLoad(CLoad* pLoad) {
    qx::critical_section_lock lock(m_loadLock);
    m_pLoad = pLoad;
}

// The load's device, held for a request; null while the keyboard is gone.
CDeviceLink::CDevice* CDeviceLink::HoldDevice(CLoad* pLoad) {
    qx::critical_section_lock lock(m_loadLock);
    if (pLoad->pDevice)
        ++pLoad->pDevice->nHolders;
    return pLoad->pDevice;
}

// Lets go of a device; its last holder closes it. The result is that of
// closing, or 1 when a request still under way will close it.
int CDeviceLink::ReleaseDevice(CDevice* pDevice) {
    qx::critical_section_lock lock(m_loadLock);
    if (--pDevice->nHolders > 0)
        return 1;
    const int nClosed = m_port.CloseDevice(pDevice->hDevice) ? 1 : 0;
    delete pDevice;
    return nClosed;
}

// The keyboard is gone: the load lets its device go (the caller still holds
// it), and the polling thread looks for the keyboard again.
void CDeviceLink::DropDevice(CLoad& load, CDevice* pDevice) {
    qx::critical_section_lock lock(m_loadLock);
    if (load.pDevice != pDevice)
        return;
    load.pDevice = nullptr;
    --pDevice->nHolders;
}

// Lets go of a load; its last holder lets its device go. The result is that
// of closing the device, or 1 when a request still under way will close it
// or the device was lost and closed before.
int CDeviceLink::Release(CLoad* pLoad) {
    CDevice* device = nullptr;
    {
        qx::critical_section_lock lock(m_loadLock);
        if (--pLoad->nHolders > 0)
            return 1;
        device = pLoad->pDevice;
    }
    delete pLoad;
    return device ? ReleaseDevice(device) : 1;
}
