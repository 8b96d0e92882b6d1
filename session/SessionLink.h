// The library's one process-wide object: the current monitor window, if any.
#pragma once

#include "session/SessionMonitorWindow.h"

#include <memory>

class CSessionLink {
  public:
    CSessionLink() = default;
    CSessionLink(const CSessionLink&) = delete;
    CSessionLink& operator=(const CSessionLink&) = delete;
    // Runs when the library is unloaded, under the loader lock: a monitor the
    // client did not close is left as it is, since unregistering, releasing
    // the session library or destroying a window must not happen there.
    ~CSessionLink();

    int Init(HWND clientWindow);
    int SetMsgParams(const qx::ClientMessages& messages);
    void Close();

  private:
    bool RegisterMonitor();

    std::unique_ptr<CSessionMonitorWindow> m_pMonitor;
};
