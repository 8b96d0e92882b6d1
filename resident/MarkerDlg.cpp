#include "MarkerDlg.h"

#include "ServiceMessages.h"

#include "resources/Tarvolt/resource.h"

#include "framework/AppText.h"
#include "framework/WinApp.h"

#include <cstring>

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

namespace {

struct OwnWindows {
    HWND marker;
    HWND keyService;
};

// A dialog of this thread that runs a loop of its own: the About box and
// anything else the key service owns, or a box shown without an owner (the
// shell library's). The hidden modeless ones (the marker, the session
// library's window) are no such thing.
bool IsModalWindow(HWND window, const OwnWindows& own) {
    char className[8] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0 || window == own.marker || window == own.keyService)
        return false;
    return ::GetWindow(window, GW_OWNER) == own.keyService || ::IsWindowVisible(window);
}

BOOL CALLBACK EndModalWindow(HWND window, LPARAM ownWindows) {
    if (IsModalWindow(window, *reinterpret_cast<const OwnWindows*>(ownWindows)))
        ::EndDialog(window, IDCANCEL);
    return TRUE;
}

// Each modal window's loop runs inside the key service's, so the program
// can end only once all of them have ended; an open tray menu likewise.
void EndModalWindows(const OwnWindows& own) {
    ::EndMenu();
    ::EnumThreadWindows(::GetCurrentThreadId(), EndModalWindow, reinterpret_cast<LPARAM>(&own));
}

} // namespace

MsgResult CMarkerDlg::OnClose(WPARAM, LPARAM lParam) {
    if (!resident::IsCloseRequest(static_cast<unsigned long long>(lParam)))
        return std::nullopt;
    const CWinApp* app = AfxGetApp();
    const HWND keyService = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
    if (!keyService)
        return 0;
    EndModalWindows({m_hWnd, keyService});
    return ::SendMessageA(keyService, WM_CLOSE, 0, 0);
}
