#include "AppText.h"

#include "Dialog.h"
#include "ProgramName.h"
#include "WinApp.h"

std::string AfxLoadString(UINT id) {
    char text[1024];
    const int length = ::LoadStringA(AfxGetResourceHandle(), id, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

std::string AfxGetProgramName() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::string();
    return qx::ProgramNameFromPath(std::string(path, length));
}

int AfxMessageBox(const std::string& text, UINT type) {
    const CWinApp* app = AfxGetApp();
    const HWND owner = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
    return ::MessageBoxA(owner, text.c_str(), AfxGetProgramName().c_str(), type);
}

int AfxMessageBox(UINT stringId, UINT type) {
    return AfxMessageBox(AfxLoadString(stringId), type);
}
