// The library's one process-wide object: the current monitor window, if any.
#pragma once

#include "session/SessionMonitorWindow.h"

#include <memory>

class CSessionLink {
  public:
    int Init(HWND clientWindow);
    int SetMsgParams(const qx::ClientMessages& messages);
    void Close();

  private:
    bool RegisterMonitor();

    std::unique_ptr<CSessionMonitorWindow> m_pMonitor;
};
