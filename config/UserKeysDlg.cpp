#include "UserKeysDlg.h"

#include "CenterDialog.h"
#include "DefineKeyDlg.h"
#include "KeyBindingEdit.h"

#include "framework/AppText.h"
#include "resources/Pellor/resource.h"

CUserKeysDlg::CUserKeysDlg(CStartLock& startLock)
    : CDialog(IDD_USERKEYS_DIALOG), m_startLock(startLock),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_PELLOR))) {}

const MessageEntry CUserKeysDlg::kMessages[] = {
    OnCommandRange(IDC_PROG1_MODIFY, IDC_LAST_MODIFY, &CUserKeysDlg::OnModify),
    OnCommand(IDC_RESET_ALL, &CUserKeysDlg::OnResetAll),
    OnCommand(IDC_APPLY, &CUserKeysDlg::OnApply),
};

MessageTable CUserKeysDlg::GetMessageTable() const {
    return kMessages;
}

BOOL CUserKeysDlg::OnInitDialog() {
    m_btnApply = GetDlgItem(IDC_APPLY);
    CenterDialog(m_hWnd);
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_strCaption = AfxLoadString(IDS_USER_KEY_CONFIGURATION);
    ::SetWindowTextA(m_hWnd, m_strCaption.c_str());
    m_startLock.Release(); // a later start finds this dialog from now on
    for (std::size_t i = 0; i < m_userKeys.size(); ++i) {
        UserKeyEntry& entry = m_userKeys[i];
        entry.name = AfxLoadString(IDS_PROG1 + static_cast<UINT>(i));
        entry.type = USERKEY_NONE;
        entry.command.clear();
        m_userKeyStore.ReadEntry(entry);
        ShowCommand(i);
    }
    ::EnableWindow(m_btnApply, FALSE);
    m_nChanged = 0;
    return TRUE;
}

int CUserKeysDlg::FocusedModifyIndex() const {
    const HWND focus = ::GetFocus();
    if (!focus || ::GetParent(focus) != m_hWnd)
        return -1;
    const int index = ::GetDlgCtrlID(focus) - IDC_PROG1_MODIFY;
    return index >= 0 && index < static_cast<int>(m_userKeys.size()) ? index : -1;
}

void CUserKeysDlg::ShowCommand(std::size_t index) {
    ::SetDlgItemTextA(m_hWnd, IDC_PROG1_COMMAND + static_cast<int>(index),
                      m_userKeys[index].command.c_str());
}

MsgResult CUserKeysDlg::OnModify(WPARAM, LPARAM) {
    const int index = FocusedModifyIndex();
    if (index < 0)
        return 0;
    UserKeyEntry& entry = m_userKeys[index];
    const UserKeyEntry before = entry;
    CDefineKeyDlg editor(entry, m_hWnd);
    if (editor.DoModal() != IDOK)
        return 0;
    if (entry.type == before.type && entry.command == before.command)
        return 0;
    ShowCommand(index);
    ::EnableWindow(m_btnApply, TRUE);
    m_nChanged = 1;
    return 0;
}

MsgResult CUserKeysDlg::OnResetAll(WPARAM, LPARAM) {
    if (Ask(IDS_RESET_ALL_SETTINGS, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDNO)
        return 0;
    for (std::size_t i = 0; i < m_userKeys.size(); ++i) {
        m_userKeys[i].type = USERKEY_NONE;
        m_userKeys[i].command.clear();
        ShowCommand(i);
    }
    // Apply stays as it was: only Modify enables it.
    m_nChanged = 1;
    return 0;
}

MsgResult CUserKeysDlg::OnApply(WPARAM, LPARAM) {
    SaveEntries();
    return 0;
}

void CUserKeysDlg::SaveEntries() {
    if (!m_nChanged)
        return;
    for (UserKeyEntry& entry : m_userKeys) {
        // A command too long to be read back reads as empty.
        entry.type = TypeToSave(entry.type, entry.command);
        m_userKeyStore.WriteEntry(entry);
    }
    m_nChanged = 0;
    ::EnableWindow(m_btnApply, FALSE);
}

void CUserKeysDlg::OnOK() {
    if (m_nChanged) {
        const int answer = Ask(IDS_SAVE_CHANGES, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON1);
        if (answer == IDCANCEL)
            return;
        if (answer == IDYES)
            SaveEntries();
    }
    EndDialog(IDOK);
}

void CUserKeysDlg::OnCancel() {
    if (m_nChanged && Ask(IDS_CANCEL_CHANGES, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    EndDialog(IDCANCEL);
}

int CUserKeysDlg::Ask(UINT questionId, UINT type) const {
    return ::MessageBoxA(m_hWnd, AfxLoadString(questionId).c_str(), m_strCaption.c_str(), type);
}
