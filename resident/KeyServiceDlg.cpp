#include "KeyServiceDlg.h"

#include "ModuleFolder.h"
#include "Preferences.h"
#include "ServiceMessages.h"

#include "resources/Tarvolt/resource.h"

#include "devlink/TarvoltXP.h"
#include "framework/AppText.h"
#include "session/Lqnmod.h"

namespace {

constexpr UINT HIDE_DELAY_MS = 20;

} // namespace

CKeyServiceDlg::CKeyServiceDlg()
    : CDialog(IDD_KEY_SERVICE),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_TARVOLT))) {}

const MessageEntry CKeyServiceDlg::kMessages[] = {
    OnMessage(WM_SYSCOMMAND, &CKeyServiceDlg::OnSysCommand),
    OnMessage(WM_PAINT, &CKeyServiceDlg::OnPaint),
    OnMessage(WM_QUERYDRAGICON, &CKeyServiceDlg::OnQueryDragIcon),
    OnMessage(WM_CLOSE, &CKeyServiceDlg::OnClose),
    OnMessage(WM_DESTROY, &CKeyServiceDlg::OnDestroy),
    OnMessage(WM_TIMER, &CKeyServiceDlg::OnTimer),
    OnMessage(WM_DEVICEKEY, &CKeyServiceDlg::OnKeyEvent),
    OnMessage(WM_TRAYNOTIFY, &CKeyServiceDlg::OnTrayNotify),
    OnMessage(WM_SESSIONSWITCH, &CKeyServiceDlg::OnSessionSwitch),
    OnCommand(ID_TRAY_ABOUT, &CKeyServiceDlg::OnTrayAbout),
    OnCommand(ID_TRAY_EXIT, &CKeyServiceDlg::OnTrayExit),
    OnCommand(ID_TRAY_USERCONFIG, &CKeyServiceDlg::OnTrayUserConfig),
};

MessageTable CKeyServiceDlg::GetMessageTable() const {
    return kMessages;
}

BOOL CKeyServiceDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    AddAboutBoxToSystemMenu();
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    FitWindowToImageControl();
    ::SetTimer(m_hWnd, TIMER_HIDE, HIDE_DELAY_MS, nullptr);
    if (!StartKeyService())
        ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return TRUE;
}

void CKeyServiceDlg::AddAboutBoxToSystemMenu() {
    const HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE);
    const std::string aboutText = AfxLoadString(IDS_ABOUTBOX);
    if (!systemMenu || aboutText.empty())
        return;
    ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText.c_str());
}

void CKeyServiceDlg::FitWindowToImageControl() {
    const HWND image = GetDlgItem(IDC_KEY_SERVICE_IMAGE);
    RECT imageArea = {};
    ::GetClientRect(image, &imageArea);
    ::RedrawWindow(image, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT window = {};
    ::GetWindowRect(m_hWnd, &window);
    ::MoveWindow(m_hWnd, window.left, window.top, imageArea.right - imageArea.left,
                 imageArea.bottom - imageArea.top, TRUE);
}

int CKeyServiceDlg::StartKeyService() {
    ::SetCurrentDirectoryA(GetModuleFolder().c_str());
    if (!LoadDriver(m_hWnd)) {
        AfxMessageBox("Error: failed to load driver", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    WritePreferenceDefaults();
    LoquenInit(m_hWnd);
    LoquenSetMsgParams(WM_SESSIONSWITCH, 1, 1, WM_SESSIONSWITCH, 0, 0);
    m_menuTray.reset(::LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_TRAY_MENU)));
    m_pTrayPopup = m_menuTray ? ::GetSubMenu(m_menuTray.get(), 0) : nullptr;
    for (int i = 0; i < resident::USER_KEY_COUNT; ++i) {
        m_userKeys[i].name = AfxLoadString(resident::UserKeyLabelId(i));
        m_userKeys[i].type = USERKEY_NONE;
        m_userKeys[i].command.clear();
    }
    m_trayIcon.Add(m_hWnd, WM_TRAYNOTIFY, AfxLoadString(IDS_TRAY_TIP), nullptr, TRAY_ICON_ID);
    m_trayIcon.SetIcon(IDI_TARVOLT);
    return 1;
}

// The dialog manager shows a hidden modal dialog once its loop falls idle;
// after the first hide tick every paint request hides it again.
MsgResult CKeyServiceDlg::OnPaint(WPARAM, LPARAM) {
    if (::IsIconic(m_hWnd)) {
        PAINTSTRUCT paint;
        const HDC dc = ::BeginPaint(m_hWnd, &paint);
        ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client = {};
        ::GetClientRect(m_hWnd, &client);
        const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, m_hIcon);
        ::EndPaint(m_hWnd, &paint);
        return 0;
    }
    HideAfterFirstShow();
    return std::nullopt;
}

void CKeyServiceDlg::HideAfterFirstShow() {
    if (!m_bFirstShow)
        ::ShowWindow(m_hWnd, SW_HIDE);
}

MsgResult CKeyServiceDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_hIcon);
}

MsgResult CKeyServiceDlg::OnTimer(WPARAM timerId, LPARAM) {
    switch (timerId) {
    case TIMER_HIDE:
        ::KillTimer(m_hWnd, TIMER_HIDE);
        m_bFirstShow = 0;
        HideAfterFirstShow();
        return 0;
    case TIMER_VOLUME_CLOSE:
        CloseVolumeControl();
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

MsgResult CKeyServiceDlg::OnSessionSwitch(WPARAM wParam, LPARAM) {
    if (resident::IsSessionLeavingConsole(wParam))
        return UnloadDriver();
    return LoadDriver(m_hWnd);
}

// The stop request (through the marker), a failed start or the system. The
// window ends here rather than through the IDCANCEL the default handling
// posts: key events sent meanwhile would be served before it.
MsgResult CKeyServiceDlg::OnClose(WPARAM, LPARAM) {
    EndKeyService(IDCANCEL);
    return 0;
}

// Once in front for the tray menu, this hidden window keeps the keyboard, and
// the dialog manager turns Enter and Escape into OK and Cancel. No key may
// end the program: only Exit and the stop request do.
void CKeyServiceDlg::OnOK() {}

void CKeyServiceDlg::OnCancel() {}

void CKeyServiceDlg::EndKeyService(int result) {
    m_bStopping = 1;
    EndDialog(result);
}

// Also runs after a failed start: each step accepts what was never started.
MsgResult CKeyServiceDlg::OnDestroy(WPARAM, LPARAM) {
    m_menuTray.reset();
    m_pTrayPopup = nullptr;
    m_trayIcon.Delete();
    LoquenClose();
    UnloadDriver();
    return std::nullopt;
}
