// The resident program's application object.
#pragma once

#include "MarkerDlg.h"

#include "framework/WinApp.h"

#include <memory>

class CResidentApp : public CWinApp {
  public:
    BOOL InitInstance() override;

  private:
    std::unique_ptr<CMarkerDlg> m_pMarkerDlg;
};
