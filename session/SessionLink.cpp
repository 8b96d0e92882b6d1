#include "session/SessionLink.h"

#include "session/Lqnmod.h"
#include "session/PlatformCode.h"

#include <new>

namespace {

// The session service may still be starting when the user's programs start.
constexpr int REGISTER_ATTEMPTS = 60;
constexpr DWORD REGISTER_RETRY_DELAY_MS = 1000;

// Session switching exists on Windows XP only; elsewhere the library does nothing.
bool FollowsSessions() {
    return GetPlatformVersion() == qx::PLATFORM_WINXP;
}

} // namespace

CSessionLink::~CSessionLink() {
    static_cast<void>(m_pMonitor.release());
}

int CSessionLink::Init(HWND clientWindow) {
    if (!clientWindow)
        return 0;
    if (!FollowsSessions())
        return 1;
    m_pMonitor.reset();
    m_pMonitor.reset(new (std::nothrow) CSessionMonitorWindow);
    if (!m_pMonitor)
        return 0;
    // Without its window no registration can succeed: no point waiting a minute.
    if (!m_pMonitor->Create(nullptr)) {
        m_pMonitor.reset();
        return 0;
    }
    ::ShowWindow(m_pMonitor->GetSafeHwnd(), SW_HIDE);
    if (!RegisterMonitor())
        return 0;
    m_pMonitor->SetTargetWindow(clientWindow);
    return 1;
}

// Blocks the caller without serving its messages, as long as the attempts last.
bool CSessionLink::RegisterMonitor() {
    for (int attempt = 0; attempt < REGISTER_ATTEMPTS; ++attempt) {
        if (m_pMonitor->TryRegister())
            return true;
        ::Sleep(REGISTER_RETRY_DELAY_MS);
    }
    return false;
}

int CSessionLink::SetMsgParams(const qx::ClientMessages& messages) {
    if (!m_pMonitor)
        return 0;
    m_pMonitor->SetClientMessages(messages);
    return 1;
}

void CSessionLink::Close() {
    if (FollowsSessions())
        m_pMonitor.reset();
}
