#include "ConfigApp.h"

#include "UserKeysDlg.h"

#include "framework/AppText.h"
#include "resources/Pellor/resource.h"

BOOL CConfigApp::InitInstance() {
    const std::string title = AfxLoadString(IDS_USER_KEY_CONFIGURATION);
    if (const HWND running = ::FindWindowA(nullptr, title.c_str())) {
        ::SetForegroundWindow(running);
        return FALSE;
    }
    CUserKeysDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

CConfigApp theApp;
