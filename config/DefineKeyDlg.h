// The key editor: binds one programmable key to a web address (URL mode) or
// a program (Program mode). It changes the entry only when it ends with OK.
#pragma once

#include "KeyBindingEdit.h"

#include "framework/Dialog.h"
#include "framework/Handles.h"

#include <string>

class CDefineKeyDlg : public CDialog {
  public:
    CDefineKeyDlg(UserKeyEntry& entry, HWND parent);

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    MessageTable GetMessageTable() const override;

  private:
    MsgResult OnUrlMode(WPARAM, LPARAM);
    MsgResult OnProgramMode(WPARAM, LPARAM);
    MsgResult OnLocationLostFocus(WPARAM, LPARAM);
    MsgResult OnLocationChanged(WPARAM, LPARAM);
    MsgResult OnBrowse(WPARAM, LPARAM);
    MsgResult OnDestroy(WPARAM, LPARAM);

    void EnterMode(std::int32_t mode);
    std::string LocationShown() const;
    void ShowLocation();
    void KeepLocationReadable();
    void RefuseLongPath() const;

    // Enter in the editor clicks OK as the mouse would (see DefineKeyDlg.cpp).
    static LRESULT CALLBACK FilterEnter(int code, WPARAM wParam, LPARAM lParam);
    static void ClickOk();

    using unique_hhook = qx::unique_any<qx::NullHandleTraits<HHOOK, &::UnhookWindowsHookEx>>;

    UserKeyEntry& m_entry;
    KeyBindingEdit m_edit;
    HWND m_btnBrowse = nullptr;
    // The last text of the edit that the store can read back.
    std::string m_strReadableLocation;
    unique_hhook m_enterFilter;

    static HWND s_hWndRunning;
    static const MessageEntry kMessages[];
};
