// Vistrel's start: read the notice line, then hand the command to the running
// display, or replace it, or become the display.
#include "OsdCommandLine.h"
#include "OsdDlg.h"
#include "VolumeCommand.h"

#include "framework/StartLock.h"
#include "framework/WinApp.h"

#include <string>

namespace {

// How long a copy waits for the running display to take its end request, and
// for another copy to finish starting or a display to finish ending.
constexpr UINT kHandOverTimeout = 5000;
constexpr DWORD kStartLockTimeout = 10000;

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

    CStartLock startLock(osd::OSD_INSTANCE_GUID, kStartLockTimeout);
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
