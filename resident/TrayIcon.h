// One notification-area icon. Removing the icon is an explicit step of the
// owner's shutdown; letting go of the object leaves the shell alone.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

// The key service's icon with the shell: the number it has always had,
// which the tip's string happens to share.
constexpr UINT TRAY_ICON_ID = 102;

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
