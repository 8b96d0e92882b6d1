// The application object: one per program. The entry point runs its start
// routine and then ends the process; there is no message loop of its own.
#pragma once

#include <windows.h>

class CDialog;

class CWinApp {
  public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    virtual BOOL InitInstance() = 0;

    HINSTANCE m_hInstance = nullptr;
    CDialog* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
