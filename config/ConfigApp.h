// Pellor's application object: one instance at a time, found by the title
// of its main dialog.
#pragma once

#include "framework/WinApp.h"

class CConfigApp : public CWinApp {
  public:
    BOOL InitInstance() override;
};
