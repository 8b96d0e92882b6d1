// One notification-area icon. Removing the icon is an explicit step of the
// owner's shutdown; letting go of the object leaves the shell alone.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

class CTrayIcon {
  public:
    CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;
    virtual ~CTrayIcon() = default;

    BOOL Add(HWND owner, UINT callbackMessage, const std::string& tip, HICON icon, UINT id);
    BOOL SetIcon(HICON icon);
    BOOL SetIcon(UINT iconResourceId);
    BOOL Delete();

  private:
    NOTIFYICONDATAA m_data;
};
