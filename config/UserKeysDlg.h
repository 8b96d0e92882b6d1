// Pellor's main dialog: one row per programmable key with its command and a
// Modify button, and Reset All, OK, Cancel and Apply.
#pragma once

#include "framework/Dialog.h"
#include "framework/StartLock.h"
#include "userkeys/UserKeyStore.h"

#include <array>
#include <string>

class CUserKeysDlg : public CDialog {
  public:
    // The start lock is let go once the dialog carries its title.
    explicit CUserKeysDlg(CStartLock& startLock);

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    MessageTable GetMessageTable() const override;

  private:
    MsgResult OnModify(WPARAM, LPARAM);
    MsgResult OnResetAll(WPARAM, LPARAM);
    MsgResult OnApply(WPARAM, LPARAM);

    // Index of the key whose Modify button holds the focus, or -1.
    int FocusedModifyIndex() const;
    void ShowCommand(std::size_t index);
    void SaveEntries();
    int Ask(UINT questionId, UINT type) const;

    CStartLock& m_startLock;
    HWND m_btnApply = nullptr;
    std::string m_strCaption;
    HICON m_hIcon;
    int m_nChanged = 0;
    std::array<UserKeyEntry, 2> m_userKeys;
    UserKeyStore m_userKeyStore;

    static const MessageEntry kMessages[];
};
