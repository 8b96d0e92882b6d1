// What the key-service window does with each key event.
#include "KeyServiceDlg.h"

#include "KeyDispatch.h"
#include "Preferences.h"
#include "NoticeLine.h"

#include "framework/AppText.h"
#include "shellact/Corvix.h"

#include <shellapi.h>

namespace {

constexpr char VOLUME_CONTROL_TITLE[] = "Volume Control";
constexpr char VOLUME_CONTROL_PROGRAM[] = "sndvol32.exe";
constexpr char NOTICE_PROGRAM[] = "Vistrel.exe";
constexpr UINT VOLUME_CLOSE_DELAY_MS = 1000;
// How often the close tick looks again for a pop-up that is still coming.
constexpr UINT VOLUME_POPUP_POLL_MS = 100;
// A volume control that does not answer its close request within this time
// is left alone rather than holding up the key events behind it.
constexpr UINT VOLUME_CLOSE_WAIT_MS = 5000;
// The shell's start results up to this value are error codes.
constexpr INT_PTR MAX_SHELL_ERROR_CODE = 32;

} // namespace

// Events still delivered while the program stops (inside a box's loop, or
// while UnloadDriver waits for the polling thread) are dropped: they would
// open boxes no one closes or start programs after the stop.
MsgResult CKeyServiceDlg::OnKeyEvent(WPARAM keyCode, LPARAM stateByte) {
    if (m_bStopping)
        return 0;
    if (resident::IsKeyPress(static_cast<unsigned long long>(stateByte)))
        OnKeyAction(keyCode);
    else
        OnVolumeKey(keyCode);
    return 0;
}

void CKeyServiceDlg::OnKeyAction(unsigned long long keyCode) {
    const resident::KeyAction action = resident::ActionForKey(keyCode);
    if (action.labelId == 0)
        return;
    ShowKeyLabel(action.labelId);
    if (action.userKeyIndex != resident::NO_USER_KEY)
        RunUserKey(m_userKeys[action.userKeyIndex]);
}

void CKeyServiceDlg::OnVolumeKey(unsigned long long keyCode) {
    if (!resident::IsVolumeKey(keyCode))
        return;
    const HWND volumeControl = ::FindWindowA(nullptr, VOLUME_CONTROL_TITLE);
    if (volumeControl) {
        m_volumePopupProcess.reset(); // seen: nothing more to wait for
        m_bVolumePopupLate = 0;
    }
    if (resident::ShouldStartVolumeControl(m_bVolumePopupOpen != 0, volumeControl != nullptr)) {
        StartVolumeControl();
        m_bVolumePopupOpen = 1;
    }
    m_dwLastVolumeKey = ::GetTickCount();
    ::SetTimer(m_hWnd, TIMER_VOLUME_CLOSE, VOLUME_CLOSE_DELAY_MS, nullptr);
}

// The pop-up's process is kept to tell a pop-up that is still coming from one
// that failed to start (no process) or came and went before the close tick
// (its process has ended). No error box: a failed start is ignored.
void CKeyServiceDlg::StartVolumeControl() {
    SHELLEXECUTEINFOA start = {};
    start.cbSize = sizeof start;
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    start.lpVerb = "open";
    start.lpFile = VOLUME_CONTROL_PROGRAM;
    start.lpParameters = "-t";
    start.lpDirectory = "";
    start.nShow = SW_SHOWNORMAL;
    const bool started = ::ShellExecuteExA(&start) &&
                         reinterpret_cast<INT_PTR>(start.hInstApp) > MAX_SHELL_ERROR_CODE;
    m_volumePopupProcess.reset(start.hProcess);
    if (!started)
        m_volumePopupProcess.reset();
}

bool CKeyServiceDlg::IsVolumePopupComing() const {
    return m_volumePopupProcess &&
           ::WaitForSingleObject(m_volumePopupProcess.get(), 0) == WAIT_TIMEOUT;
}

// A second after the last volume event; while the pop-up this program
// started is still coming, it looks for it often, and a pop-up that came late
// gets its second from when it was seen. It stops once it has closed a window
// or stopped waiting: a timer left running would close any "Volume Control"
// the user opens later.
void CKeyServiceDlg::CloseVolumeControl() {
    const HWND volumeControl = ::FindWindowA(nullptr, VOLUME_CONTROL_TITLE);
    if (resident::ShouldWaitForVolumeControl(IsVolumePopupComing(), volumeControl != nullptr,
                                             ::GetTickCount() - m_dwLastVolumeKey)) {
        m_bVolumePopupLate = 1;
        ::SetTimer(m_hWnd, TIMER_VOLUME_CLOSE, VOLUME_POPUP_POLL_MS, nullptr);
        return;
    }
    if (volumeControl && m_bVolumePopupLate) {
        m_bVolumePopupLate = 0;
        m_volumePopupProcess.reset();
        ::SetTimer(m_hWnd, TIMER_VOLUME_CLOSE, VOLUME_CLOSE_DELAY_MS, nullptr);
        return;
    }
    // Taken before the close request, which lets key events in while it
    // waits: a volume key served then starts its own pop-up and countdown.
    ::KillTimer(m_hWnd, TIMER_VOLUME_CLOSE);
    m_bVolumePopupOpen = 0;
    m_bVolumePopupLate = 0;
    m_volumePopupProcess.reset();
    if (volumeControl) {
        ::SendMessageTimeoutA(volumeControl, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, VOLUME_CLOSE_WAIT_MS,
                              nullptr);
    }
}

// The colour's box and each start run loops of their own, in which a stop
// request may be served: nothing is started after it.
void CKeyServiceDlg::ShowKeyLabel(UINT labelId) {
    const std::string parameters =
        resident::NoticeParameters(AfxLoadString(labelId), ReadDisplayColour());
    if (m_bStopping)
        return;
    ::ShellExecuteA(nullptr, "open", NOTICE_PROGRAM, parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void CKeyServiceDlg::RunUserKey(UserKeyEntry& entry) {
    m_userKeyStore.ReadEntry(entry);
    if (m_bStopping)
        return;
    switch (resident::RouteUserKey(entry.type, entry.command)) {
    case resident::UserKeyRoute::LaunchConfigProgram:
        LaunchConfigProgram();
        break;
    case resident::UserKeyRoute::ShellOpen:
        ::ShellExecuteA(nullptr, "open", entry.command.c_str(), "", nullptr, SW_SHOWNORMAL);
        break;
    case resident::UserKeyRoute::OpenUrl:
        CVXP_OpenURL(entry.command.c_str());
        break;
    }
}
