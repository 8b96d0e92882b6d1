// Vistrel's start: read the notice line, then hand the command to the running
// display, or replace it, or become the display.
#include "OsdCommandLine.h"
#include "OsdDlg.h"
#include "VolumeCommand.h"

#include "framework/Handles.h"
#include "framework/WinApp.h"

#include <string>

namespace {

// How long a copy waits for the running display to take its end request, and
// for another copy to finish starting.
constexpr UINT kHandOverTimeout = 5000;
constexpr DWORD kStartLockTimeout = 10000;

// Held while a copy looks for the running display and, finding none, creates
// its own: a copy started meanwhile then finds that display and hands its
// command over instead of showing a second one.
class CStartLock {
  public:
    CStartLock()
        : m_mutex(::CreateMutexA(nullptr, FALSE,
                                 (std::string(osd::OSD_INSTANCE_GUID) + " start").c_str())) {
        if (!m_mutex)
            return;
        const DWORD result = ::WaitForSingleObject(m_mutex.get(), kStartLockTimeout);
        m_bHeld = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
    CStartLock(const CStartLock&) = delete;
    CStartLock& operator=(const CStartLock&) = delete;
    ~CStartLock() { Release(); }

    void Release() {
        if (m_bHeld)
            ::ReleaseMutex(m_mutex.get());
        m_bHeld = false;
    }

  private:
    qx::unique_handle m_mutex;
    bool m_bHeld = false;
};

class COsdApp : public CWinApp {
  public:
    BOOL InitInstance() override;
};

BOOL COsdApp::InitInstance() {
    const std::optional<osd::OsdParams> params =
        osd::ParseCommandLine(osd::CommandLineArguments(::GetCommandLineA()));
    if (!params)
        return FALSE;
    const osd::VolumeCommand command = osd::ParseVolumeCommand(params->text);

    CStartLock startLock;
    if (const HWND running = ::FindWindowA(nullptr, osd::OSD_INSTANCE_GUID)) {
        if (command.type != osd::OSD_TEXT) {
            ::PostMessageA(running, WM_CLOSE, command.type, static_cast<LPARAM>(command.level));
            return FALSE;
        }
        ::SendMessageTimeoutA(running, WM_CLOSE, 0, 0, SMTO_NORMAL, kHandOverTimeout, nullptr);
    }

    COsdDlg dialog(*params);
    m_pMainWnd = &dialog;
    if (dialog.Create()) {
        startLock.Release();
        dialog.RunUntilEnded();
    }
    m_pMainWnd = nullptr;
    return FALSE;
}

COsdApp theApp;

} // namespace
