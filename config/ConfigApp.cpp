#include "ConfigApp.h"

#include "UserKeysDlg.h"

#include "framework/AppText.h"
#include "framework/StartLock.h"
#include "resources/Pellor/resource.h"

namespace {

// A start that has not titled its dialog within this time is not waited for.
constexpr DWORD START_LOCK_TIMEOUT_MS = 10000;

} // namespace

// The dialog gets its title only once it is initialised: the start lock,
// held until then, keeps two starts close together from both missing it.
BOOL CConfigApp::InitInstance() {
    const std::string title = AfxLoadString(IDS_USER_KEY_CONFIGURATION);
    CStartLock startLock(title, START_LOCK_TIMEOUT_MS);
    if (const HWND running = ::FindWindowA(nullptr, title.c_str())) {
        ::SetForegroundWindow(running);
        return FALSE;
    }
    CUserKeysDlg dialog(startLock);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

CConfigApp theApp;
