#include "TrayIcon.h"

#include "TrayRules.h"

#include "framework/Dialog.h"

namespace {

// The shell 5 record, the largest that Windows 2000 knows; the headers'
// structure has grown since, and its later fields stay unused here.
constexpr DWORD TRAY_RECORD_SIZE = NOTIFYICONDATAA_V2_SIZE;

} // namespace

CTrayIcon::CTrayIcon() : m_data() {
    m_data.cbSize = TRAY_RECORD_SIZE;
}

BOOL CTrayIcon::Add(HWND owner, UINT callbackMessage, const std::string& tip, HICON icon, UINT id) {
    m_data.cbSize = TRAY_RECORD_SIZE;
    m_data.hWnd = owner;
    m_data.uID = id;
    m_data.hIcon = icon;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = callbackMessage;
    resident::CopyTrayTip(m_data.szTip, sizeof m_data.szTip, tip);
    return ::Shell_NotifyIconA(NIM_ADD, &m_data);
}

BOOL CTrayIcon::SetIcon(HICON icon) {
    m_data.uFlags = NIF_ICON;
    m_data.hIcon = icon;
    return ::Shell_NotifyIconA(NIM_MODIFY, &m_data);
}

BOOL CTrayIcon::SetIcon(UINT iconResourceId) {
    return SetIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(LOWORD(iconResourceId))));
}

BOOL CTrayIcon::Delete() {
    m_data.uFlags = 0;
    return ::Shell_NotifyIconA(NIM_DELETE, &m_data);
}
