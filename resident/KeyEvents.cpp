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
// A volume control that does not answer its close request within this time
// is left alone rather than holding up the key events behind it.
constexpr UINT VOLUME_CLOSE_WAIT_MS = 5000;

} // namespace

MsgResult CKeyServiceDlg::OnKeyEvent(WPARAM keyCode, LPARAM stateByte) {
    const unsigned code = static_cast<unsigned>(keyCode);
    if (resident::IsKeyPress(static_cast<unsigned>(stateByte)))
        OnKeyAction(code);
    else
        OnVolumeKey(code);
    return 0;
}

void CKeyServiceDlg::OnKeyAction(unsigned keyCode) {
    const resident::KeyAction action = resident::ActionForKey(keyCode);
    if (action.labelId == 0)
        return;
    ShowKeyLabel(action.labelId);
    if (action.userKeyIndex != resident::NO_USER_KEY)
        RunUserKey(m_userKeys[action.userKeyIndex]);
}

void CKeyServiceDlg::OnVolumeKey(unsigned keyCode) {
    if (!resident::IsVolumeKey(keyCode))
        return;
    if (resident::ShouldStartVolumeControl(m_bVolumePopupOpen != 0,
                                           ::FindWindowA(nullptr, VOLUME_CONTROL_TITLE))) {
        ::ShellExecuteA(nullptr, "open", VOLUME_CONTROL_PROGRAM, "-t", "", SW_SHOWNORMAL);
        m_bVolumePopupOpen = 1;
    }
    m_dwLastVolumeKey = ::GetTickCount();
    ::SetTimer(m_hWnd, TIMER_VOLUME_CLOSE, VOLUME_CLOSE_DELAY_MS, nullptr);
}

// A second after the last volume event, and every second after that while
// the pop-up this program started has yet to come up. It stops once it has
// closed a window or given up: a timer left running would close any "Volume
// Control" the user opens later.
void CKeyServiceDlg::CloseVolumeControl() {
    const HWND volumeControl = ::FindWindowA(nullptr, VOLUME_CONTROL_TITLE);
    if (resident::ShouldWaitForVolumeControl(m_bVolumePopupOpen != 0, volumeControl != nullptr,
                                             ::GetTickCount() - m_dwLastVolumeKey))
        return;
    ::KillTimer(m_hWnd, TIMER_VOLUME_CLOSE);
    if (volumeControl) {
        ::SendMessageTimeoutA(volumeControl, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, VOLUME_CLOSE_WAIT_MS,
                              nullptr);
    }
    m_bVolumePopupOpen = 0;
}

void CKeyServiceDlg::ShowKeyLabel(UINT labelId) {
    const std::string parameters =
        resident::NoticeParameters(AfxLoadString(labelId), ReadDisplayColour());
    ::ShellExecuteA(nullptr, "open", NOTICE_PROGRAM, parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void CKeyServiceDlg::RunUserKey(UserKeyEntry& entry) {
    m_userKeyStore.ReadEntry(entry);
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
