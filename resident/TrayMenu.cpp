// The tray icon's mouse input, its menu, the configuration program and the
// About box.
#include "KeyServiceDlg.h"

#include "AboutDlg.h"
#include "ModuleFolder.h"
#include "TrayRules.h"

#include "resources/Tarvolt/resource.h"

#include "framework/AppText.h"

#include <shellapi.h>

// Once the program is stopping, a click opens no menu that no one would close.
MsgResult CKeyServiceDlg::OnTrayNotify(WPARAM, LPARAM mouseMessage) {
    const resident::TrayMouseAction action =
        m_bStopping ? resident::TrayMouseAction::None
                    : resident::ActionForTrayMouse(static_cast<unsigned long long>(mouseMessage));
    switch (action) {
    case resident::TrayMouseAction::OpenMenu:
        OpenTrayMenu();
        break;
    case resident::TrayMouseAction::LaunchConfigProgram:
        LaunchConfigProgram();
        break;
    case resident::TrayMouseAction::None:
        break;
    }
    return 1;
}

// The window must be in front, or the menu stays open when the user clicks
// elsewhere; and a message must be posted to it after the menu, or the next menu
// opens and closes at once.
void CKeyServiceDlg::OpenTrayMenu() {
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    ::SetForegroundWindow(m_hWnd);
    ::TrackPopupMenu(m_pTrayPopup, TPM_RIGHTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, m_hWnd,
                     nullptr);
    ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

// Called after nested loops (a menu, a box) that a stop request may have ended.
void CKeyServiceDlg::LaunchConfigProgram() {
    if (m_bStopping)
        return;
    const std::string program = AfxLoadString(IDS_CONFIG_PROGRAM);
    const std::string folder = GetModuleFolder();
    ::ShellExecuteA(m_hWnd, "open", program.c_str(), "", folder.c_str(), SW_SHOWNORMAL);
}

void CKeyServiceDlg::ShowAboutBox() {
    if (m_bStopping)
        return;
    CAboutDlg about(m_hWnd);
    about.DoModal();
}

MsgResult CKeyServiceDlg::OnSysCommand(WPARAM commandId, LPARAM) {
    if (!resident::IsAboutBoxCommand(commandId))
        return std::nullopt;
    ShowAboutBox();
    return 0;
}

MsgResult CKeyServiceDlg::OnTrayAbout(WPARAM, LPARAM) {
    ShowAboutBox();
    return 0;
}

MsgResult CKeyServiceDlg::OnTrayExit(WPARAM, LPARAM) {
    EndKeyService(IDOK);
    return 0;
}

MsgResult CKeyServiceDlg::OnTrayUserConfig(WPARAM, LPARAM) {
    LaunchConfigProgram();
    return 0;
}
