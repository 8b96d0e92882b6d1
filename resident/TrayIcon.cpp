#include "TrayIcon.h"

#include "TrayRules.h"

#include "framework/Dialog.h"

CTrayIcon::CTrayIcon() : m_data() {
    m_data.cbSize = sizeof m_data;
}

BOOL CTrayIcon::Add(HWND owner, UINT callbackMessage, const std::string& tip, HICON icon, UINT id) {
    m_data.cbSize = sizeof m_data;
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
