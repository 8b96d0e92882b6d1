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

// What one LoadDriver opened: the device, the window its key events go to,
// and the run flag of its polling thread. The link holds it while loaded,
// the polling thread while it runs and a command while it is sent; the last
// of them closes the device. So a request the driver holds never keeps an
// unload waiting, and the next load opens the device afresh whatever the old
// one is still doing.
struct CDeviceLink::CLoad {
    CLoad(CDeviceLink& owner, HANDLE device, HWND targetWnd)
        : link(owner), hDevice(device), hTargetWnd(targetWnd) {}

    CDeviceLink& link;
    const HANDLE hDevice;
    const HWND hTargetWnd;
    // Cleared by UnloadDriver and tested before each request. One per load,
    // so a thread that outlived its unload never polls for a later load.
    std::atomic<int> nRunFlag{1};
    int nHolders = 1; // under the link's lock
};

CDeviceLink::CDeviceLink() {
    InitializeCriticalSection(&m_loadLock);
}

// No device set is held here: a set is held only while loaded, and a loaded
// link's polling thread keeps the library from being freed.
CDeviceLink::~CDeviceLink() {
    DeleteCriticalSection(&m_loadLock);
}

int CDeviceLink::LoadDriver(HWND hTargetWnd) {
    // A key event let through while UnloadDriver waits may come back here:
    // the link is not free before that unload has let the device go.
    if (m_pLoad || m_bUnloading)
        return 0;
    if (m_port.DiscoverInterfaces() == 0)
        return 0;
    // Only the first interface is ever used, however many keyboards are present.
    const HANDLE hDevice = m_port.OpenInterface(0);
    CLoad* load = hDevice ? new (std::nothrow) CLoad(*this, hDevice, hTargetWnd) : nullptr;
    if (!load) {
        if (hDevice)
            m_port.CloseDevice(hDevice);
        m_port.ReleaseInterfaceSet();
        return 0;
    }
    SetLoad(load);
    SendCommand(HeaderFor(CMD_RESET), nullptr, 0); // its result does not matter
    if (!StartPollThread(*load)) {
        SetLoad(nullptr);
        Release(load);
        m_port.ReleaseInterfaceSet();
        return 0;
    }
    return 1;
}

// The thread's reference to the library is taken here, before the thread
// starts, so that a client freeing the library at once cannot unmap the code
// under it; the thread gives it back as it ends.
bool CDeviceLink::StartPollThread(CLoad& load) {
    if (!m_hPollWake)
        m_hPollWake.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ResetEvent(m_hPollWake.get());
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

int CDeviceLink::UnloadDriver() {
    CLoad* load = m_pLoad;
    if (!load)
        return 0;
    SetLoad(nullptr);
    load->nRunFlag = 0;
    m_bUnloading = true;
    SetEvent(m_hPollWake.get());
    const bool bEnded = WaitForPollThread(POLL_THREAD_END_TIMEOUT_MS);
    const DWORD dwError = GetLastError();
    // A thread that did not end holds its load and the library, and ends by
    // itself once the driver or the target window lets it go.
    m_hPollThread.reset();
    m_port.ReleaseInterfaceSet();
    const int nClosed = Release(load);
    m_bUnloading = false;
    // Last, so that a load from the box's message loop (a session coming
    // back) finds the link free.
    if (!bEnded)
        ReportPollThreadStuck(dwError);
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
        link.PollEvent(load);
        // Sleeps 10 ms, or less once UnloadDriver has cleared the flag.
        if (WaitForSingleObject(link.m_hPollWake.get(), POLL_PERIOD_MS) == WAIT_FAILED)
            Sleep(POLL_PERIOD_MS);
    }
    link.Release(&load);
    // When this is the library's last reference the library is freed here,
    // and nothing of it runs afterwards.
    FreeLibraryAndExitThread(ThisModule(), 0);
}

int CDeviceLink::PollEvent(CLoad& load) {
    if (load.nRunFlag == 0)
        return 0;
    const auto packet = BuildCommandPacket(HeaderFor(CMD_POLL_EVENT), nullptr, 0);
    PacketBuffer reply{};
    const DeviceReply result = Issue(load.hDevice, *packet, reply);
    if (!RequestAccepted(result.succeeded != FALSE, result.lastError))
        return 0;
    const auto event = KeyEventFromReply(reply, result.bytesReturned);
    if (!event)
        return 0;
    if (load.hTargetWnd)
        SendMessageA(load.hTargetWnd, WM_DEVICEKEY, event->code, event->state);
    return 1;
}

int CDeviceLink::SendCommand(const CommandHeader& header, const BYTE* pPayload,
                             std::size_t nLength) {
    const auto packet = BuildCommandPacket(header, pPayload, nLength);
    if (!packet)
        return 0;
    CLoad* load = HoldLoad();
    if (!load)
        return 0; // no device: nothing is contacted
    PacketBuffer reply{};
    const DeviceReply result = Issue(load->hDevice, *packet, reply);
    Release(load);
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

// The current load, held for a request; null while unloaded.
CDeviceLink::CLoad* CDeviceLink::HoldLoad() {
    qx::critical_section_lock lock(m_loadLock);
    if (m_pLoad)
        ++m_pLoad->nHolders;
    return m_pLoad;
}

// Lets go of a load; its last holder closes the device. The result is that
// of closing, or 1 when a request still under way will close it.
int CDeviceLink::Release(CLoad* pLoad) {
    qx::critical_section_lock lock(m_loadLock);
    if (--pLoad->nHolders > 0)
        return 1;
    const int nClosed = m_port.CloseDevice(pLoad->hDevice) ? 1 : 0;
    delete pLoad;
    return nClosed;
}
