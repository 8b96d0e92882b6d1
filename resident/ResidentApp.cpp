#include "ResidentApp.h"

#include "KeyServiceDlg.h"
#include "StartGate.h"

#include "resources/Tarvolt/resource.h"

#include "framework/AppText.h"
#include "shellact/Corvix.h"

namespace {

constexpr char VERSION_BOX_CAPTION[] = "Tarvolt 1.5";

CResidentApp theApp;

} // namespace

BOOL CResidentApp::InitInstance() {
    if (!resident::IsSupportedWindows(CVXP_GetWindowsVersion())) {
        ::MessageBoxA(nullptr, AfxLoadString(IDS_UNSUPPORTED_WINDOWS).c_str(), VERSION_BOX_CAPTION,
                      MB_OK | MB_ICONERROR);
        return FALSE;
    }
    // Another copy runs: leave it alone, say nothing.
    if (::FindWindowA(nullptr, resident::INSTANCE_GUID))
        return FALSE;

    m_pMarkerDlg = std::make_unique<CMarkerDlg>();
    // A copy without its marker could be neither found nor stopped.
    if (!m_pMarkerDlg->Create(nullptr)) {
        AfxMessageBox(IDS_NO_MARKER_WINDOW, MB_OK | MB_ICONERROR);
        m_pMarkerDlg.reset();
        return FALSE;
    }
    ::UpdateWindow(m_pMarkerDlg->GetSafeHwnd());
    {
        CKeyServiceDlg keyService;
        m_pMainWnd = &keyService;
        keyService.DoModal();
        m_pMarkerDlg->DestroyWindow();
        m_pMarkerDlg.reset();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}
