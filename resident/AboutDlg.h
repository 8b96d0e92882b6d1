// The About box: icon, program name and OK.
#pragma once

#include "resources/Tarvolt/resource.h"

#include "framework/Dialog.h"

class CAboutDlg : public CDialog {
  public:
    explicit CAboutDlg(HWND parent = nullptr) : CDialog(IDD_ABOUTBOX, parent) {}
};
