#include "DefineKeyDlg.h"

#include "CenterDialog.h"

#include "framework/AppText.h"
#include "resources/Pellor/resource.h"
#include "userkeys/UserKeyValues.h"

#include <commdlg.h>

#include <vector>

namespace {

// "Execution Files(*.exe)|*.exe|All Files(*.*)|*.*||" in the form the
// Open-file dialog takes it.
const char kProgramFilter[] = "Execution Files(*.exe)\0*.exe\0All Files(*.*)\0*.*\0";

// Room for more than the store takes, so that a longer path is seen and
// refused instead of arriving cut.
constexpr DWORD kChosenPathBuffer = 1024;

} // namespace

HWND CDefineKeyDlg::s_hWndRunning = nullptr;

CDefineKeyDlg::CDefineKeyDlg(UserKeyEntry& entry, HWND parent)
    : CDialog(IDD_DEFINE_KEY_DIALOG, parent), m_entry(entry), m_edit(entry) {}

const MessageEntry CDefineKeyDlg::kMessages[] = {
    OnNotification(IDC_URL, BN_CLICKED, &CDefineKeyDlg::OnUrlMode),
    OnNotification(IDC_PROGRAM, BN_CLICKED, &CDefineKeyDlg::OnProgramMode),
    OnNotification(IDC_LOCATION, EN_KILLFOCUS, &CDefineKeyDlg::OnLocationLostFocus),
    OnNotification(IDC_LOCATION, EN_CHANGE, &CDefineKeyDlg::OnLocationChanged),
    OnNotification(IDC_BROWSE, BN_CLICKED, &CDefineKeyDlg::OnBrowse),
    OnMessage(WM_DESTROY, &CDefineKeyDlg::OnDestroy),
};

MessageTable CDefineKeyDlg::GetMessageTable() const {
    return kMessages;
}

BOOL CDefineKeyDlg::OnInitDialog() {
    m_btnBrowse = GetDlgItem(IDC_BROWSE);
    CenterDialog(m_hWnd);
    ::SetWindowTextA(m_hWnd, m_entry.name.c_str());
    ::SendDlgItemMessageA(m_hWnd, IDC_LOCATION, EM_LIMITTEXT, USERKEY_MAX_COMMAND, 0);
    s_hWndRunning = m_hWnd;
    m_enterFilter.reset(
        ::SetWindowsHookExA(WH_MSGFILTER, FilterEnter, nullptr, ::GetCurrentThreadId()));
    const std::int32_t mode = m_edit.Mode();
    ::CheckRadioButton(m_hWnd, IDC_URL, IDC_PROGRAM,
                       mode == USERKEY_PROGRAM ? IDC_PROGRAM : IDC_URL);
    EnterMode(mode);
    // Checking a radio button made it a tab stop too; the keyboard focus
    // still starts in the edit.
    ::SetFocus(GetDlgItem(IDC_LOCATION));
    return FALSE;
}

void CDefineKeyDlg::OnOK() {
    m_edit.StoreInto(m_entry);
    EndDialog(IDOK);
}

MsgResult CDefineKeyDlg::OnDestroy(WPARAM, LPARAM) {
    m_enterFilter.reset();
    s_hWndRunning = nullptr;
    return std::nullopt;
}

MsgResult CDefineKeyDlg::OnUrlMode(WPARAM, LPARAM) {
    EnterMode(USERKEY_URL);
    return 0;
}

MsgResult CDefineKeyDlg::OnProgramMode(WPARAM, LPARAM) {
    EnterMode(USERKEY_PROGRAM);
    return 0;
}

void CDefineKeyDlg::EnterMode(std::int32_t mode) {
    ::ShowWindow(m_btnBrowse, mode == USERKEY_PROGRAM ? SW_SHOW : SW_HIDE);
    m_edit.EnterMode(mode);
    ShowLocation();
}

std::string CDefineKeyDlg::LocationShown() const {
    const HWND edit = GetDlgItem(IDC_LOCATION);
    std::vector<char> text(::GetWindowTextLengthA(edit) + 1);
    const int length = ::GetWindowTextA(edit, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), length > 0 ? length : 0);
}

// As with the framework's data exchange, a text that is already shown is not
// set again, so it is no change for the edit.
void CDefineKeyDlg::ShowLocation() {
    if (LocationShown() != m_edit.LocationText())
        ::SetDlgItemTextA(m_hWnd, IDC_LOCATION, m_edit.LocationText().c_str());
}

// Clicking a radio button or any other button takes the focus from the edit,
// so a mode switch or OK first commits the text of the mode being left.
MsgResult CDefineKeyDlg::OnLocationLostFocus(WPARAM, LPARAM) {
    m_edit.Commit(LocationShown());
    return 0;
}

MsgResult CDefineKeyDlg::OnLocationChanged(WPARAM, LPARAM) {
    m_edit.MarkEdited();
    KeepLocationReadable();
    return 0;
}

// The edit counts its limit in characters where it keeps its text as
// Unicode, so double-byte characters could still take the text past what the
// store reads back; such a change is taken back.
void CDefineKeyDlg::KeepLocationReadable() {
    const std::string shown = LocationShown();
    if (CommandFitsStore(shown)) {
        m_strReadableLocation = shown;
        return;
    }
    ::MessageBeep(MB_OK);
    ::SetDlgItemTextA(m_hWnd, IDC_LOCATION, m_strReadableLocation.c_str());
    const LPARAM end = static_cast<LPARAM>(m_strReadableLocation.size());
    ::SendDlgItemMessageA(m_hWnd, IDC_LOCATION, EM_SETSEL, end, end);
}

MsgResult CDefineKeyDlg::OnBrowse(WPARAM, LPARAM) {
    char path[kChosenPathBuffer] = "";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_hWnd;
    dialog.lpstrFilter = kProgramFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrDefExt = "exe";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    if (!::GetOpenFileNameA(&dialog)) {
        if (::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
            RefuseLongPath();
        return 0;
    }
    if (!m_edit.ChooseProgram(path)) {
        RefuseLongPath();
        return 0;
    }
    ShowLocation();
    return 0;
}

void CDefineKeyDlg::RefuseLongPath() const {
    ::MessageBoxA(m_hWnd, AfxLoadString(IDS_PATH_TOO_LONG).c_str(),
                  AfxLoadString(IDS_USER_KEY_CONFIGURATION).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

// While the editor runs, Enter meant for it or any of its controls is turned
// into a mouse click on OK: the button takes the focus first, the edit
// commits its text, and only then does OK run. This holds whichever control
// has the focus, Cancel and Browse included.
LRESULT CALLBACK CDefineKeyDlg::FilterEnter(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    const bool forEditor =
        s_hWndRunning && message &&
        (message->hwnd == s_hWndRunning || ::IsChild(s_hWndRunning, message->hwnd));
    if (code >= 0 && forEditor && message->message == WM_KEYDOWN && message->wParam == VK_RETURN) {
        ClickOk();
        return TRUE;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void CDefineKeyDlg::ClickOk() {
    const HWND ok = ::GetDlgItem(s_hWndRunning, IDOK);
    if (!ok)
        return;
    ::PostMessageA(ok, WM_LBUTTONDOWN, 0, 0);
    ::PostMessageA(ok, WM_LBUTTONUP, 0, 0);
}
