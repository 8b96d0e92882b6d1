// The hidden key-service window: the program's main window. It holds the
// device link, receives key events and session switches, owns the tray icon
// and its menu, and shuts everything down in order when it ends.
#pragma once

#include "KeyDispatch.h"
#include "TrayIcon.h"

#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "userkeys/UserKeyStore.h"

#include <string>

constexpr UINT WM_TRAYNOTIFY = 2023;
constexpr UINT WM_SESSIONSWITCH = 8625;
constexpr UINT_PTR TIMER_HIDE = 6492;
constexpr UINT_PTR TIMER_VOLUME_CLOSE = 2689;

class CKeyServiceDlg : public CDialog {
  public:
    CKeyServiceDlg();

    int StartKeyService();
    MsgResult OnSessionSwitch(WPARAM wParam, LPARAM lParam);

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    MessageTable GetMessageTable() const override;

  private:
    // Start-up and the window's own life
    void AddAboutBoxToSystemMenu();
    void FitWindowToImageControl();
    void HideAfterFirstShow();
    MsgResult OnPaint(WPARAM, LPARAM);
    MsgResult OnQueryDragIcon(WPARAM, LPARAM);
    MsgResult OnClose(WPARAM, LPARAM);
    void EndKeyService(int result);
    MsgResult OnDestroy(WPARAM, LPARAM);
    MsgResult OnTimer(WPARAM timerId, LPARAM);

    // Key events
    MsgResult OnKeyEvent(WPARAM keyCode, LPARAM stateByte);
    void OnKeyAction(unsigned long long keyCode);
    void OnVolumeKey(unsigned long long keyCode);
    void StartVolumeControl();
    bool IsVolumePopupComing() const;
    void CloseVolumeControl();
    void ShowKeyLabel(UINT labelId);
    void RunUserKey(UserKeyEntry& entry);

    // Tray icon, menu and About box
    MsgResult OnSysCommand(WPARAM commandId, LPARAM);
    MsgResult OnTrayNotify(WPARAM, LPARAM mouseMessage);
    MsgResult OnTrayAbout(WPARAM, LPARAM);
    MsgResult OnTrayExit(WPARAM, LPARAM);
    MsgResult OnTrayUserConfig(WPARAM, LPARAM);
    void OpenTrayMenu();
    void LaunchConfigProgram();
    void ShowAboutBox();

    static const MessageEntry kMessages[];

    HICON m_hIcon;
    BOOL m_bVolumePopupOpen = 0;
    // The pop-up's program while its window has yet to be seen.
    qx::unique_handle m_volumePopupProcess;
    // Set when the close tick found the pop-up still coming: its second
    // starts once it is seen.
    BOOL m_bVolumePopupLate = 0;
    DWORD m_dwLastVolumeKey = 0;
    // Set once the window is ending: nothing new is started from then on.
    BOOL m_bStopping = 0;
    BOOL m_bFirstShow = 1;
    qx::unique_hmenu m_menuTray;
    HMENU m_pTrayPopup = nullptr;
    CTrayIcon m_trayIcon;
    UserKeyEntry m_userKeys[resident::USER_KEY_COUNT];
    UserKeyStore m_userKeyStore;
};
