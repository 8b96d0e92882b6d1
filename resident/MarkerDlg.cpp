#include "MarkerDlg.h"

#include "ResidentRules.h"

#include "resources/Tarvolt/resource.h"

#include "framework/AppText.h"
#include "framework/WinApp.h"

CMarkerDlg::CMarkerDlg() : CDialog(IDD_MARKER) {}

const MessageEntry CMarkerDlg::kMessages[] = {
    OnMessage(WM_CLOSE, &CMarkerDlg::OnClose),
};

MessageTable CMarkerDlg::GetMessageTable() const {
    return kMessages;
}

BOOL CMarkerDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetWindowTextA(m_hWnd, AfxLoadString(IDS_INSTANCE_GUID).c_str());
    return TRUE;
}

MsgResult CMarkerDlg::OnClose(WPARAM, LPARAM lParam) {
    if (!resident::IsCloseRequest(static_cast<long>(lParam)))
        return std::nullopt;
    const CWinApp* app = AfxGetApp();
    const HWND keyService = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
    if (!keyService)
        return 0;
    return ::SendMessageA(keyService, WM_CLOSE, 0, 0);
}
