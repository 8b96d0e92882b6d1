#include "session/SessionMonitorWindow.h"

#include "resources/Lqnmod/resource.h"

#include <string>
#include <utility>

namespace {

constexpr DWORD NOTIFY_FOR_THIS_SESSION_FLAG = 0; // NOTIFY_FOR_THIS_SESSION

// A platform that keeps refusing to unregister must not hold the window in an
// endless round of close requests and boxes.
constexpr int UNREGISTER_ATTEMPTS = 3;

void ShowFatalError(const std::string& text) {
    ::MessageBoxA(nullptr, text.c_str(), "Fatal Error", MB_OK | MB_ICONERROR);
}

template <typename Function> Function LookUp(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

} // namespace

const MessageEntry CSessionMonitorWindow::kMessages[] = {
    OnMessage(qx::SESSION_CHANGE_MESSAGE, &CSessionMonitorWindow::OnSessionChange),
    OnMessage(WM_CLOSE, &CSessionMonitorWindow::OnClose),
};

MessageTable CSessionMonitorWindow::GetMessageTable() const {
    return kMessages;
}

CSessionMonitorWindow::CSessionMonitorWindow() : CDialog(IDD_SESSION_MONITOR) {}

CSessionMonitorWindow::~CSessionMonitorWindow() {
    if (m_pbGone)
        *m_pbGone = true;
    m_pbGone = nullptr;
    ReleaseSessionLibrary();
}

BOOL CSessionMonitorWindow::OnInitDialog() {
    if (!LoadSessionLibrary())
        ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return TRUE;
}

// The session service exists from Windows XP on only, so it is looked up at
// run time rather than imported.
bool CSessionMonitorWindow::LoadSessionLibrary() {
    m_hSessionLibrary.reset(::LoadLibraryA("Wtsapi32.dll"));
    if (!m_hSessionLibrary) {
        ShowFatalError("Unable to load library, Wtsapi32.dll.");
        return false;
    }
    m_pfnRegister =
        LookUp<RegisterFunction>(m_hSessionLibrary.get(), "WTSRegisterSessionNotification");
    if (!m_pfnRegister) {
        const DWORD error = ::GetLastError();
        ShowFatalError("Unable to get address of function, WTSRegisterSessionNotification.(" +
                       std::to_string(static_cast<int>(error)) + ")");
        return false;
    }
    m_pfnUnregister =
        LookUp<UnregisterFunction>(m_hSessionLibrary.get(), "WTSUnRegisterSessionNotification");
    if (!m_pfnUnregister) {
        ShowFatalError("Unable to get address of function, WTSUnRegisterSessionNotification.");
        return false;
    }
    return true;
}

bool CSessionMonitorWindow::TryRegister() {
    if (!m_hWnd || m_bRegistered || !m_pfnRegister || !m_pfnUnregister)
        return false;
    if (!m_pfnRegister(m_hWnd, NOTIFY_FOR_THIS_SESSION_FLAG))
        return false;
    m_bRegistered = TRUE;
    return true;
}

// The box's message loop may serve a close request or the client's
// LoquenClose, which take the registration back, let the library go or
// delete this object: after each box, what is left to do is looked at again.
bool CSessionMonitorWindow::Unregister() {
    for (int attempt = 0; attempt < UNREGISTER_ATTEMPTS; ++attempt) {
        if (m_pfnUnregister(m_hWnd)) {
            m_bRegistered = FALSE;
            return true;
        }
        if (!ShowUnregisterFailure())
            return false;
        if (!m_bRegistered || !m_pfnUnregister)
            return true;
    }
    // Once the library is gone nothing can take the registration back.
    m_bRegistered = FALSE;
    return true;
}

bool CSessionMonitorWindow::ShowUnregisterFailure() {
    bool gone = false;
    bool* const outer = std::exchange(m_pbGone, &gone);
    ShowFatalError("Unable to register with WTSUnRegisterSessionNotification.");
    if (gone) {
        // Callers further out on the stack must not touch the object either.
        if (outer)
            *outer = true;
        return false;
    }
    m_pbGone = outer;
    return true;
}

void CSessionMonitorWindow::ReleaseSessionLibrary() {
    if (m_bRegistered && !Unregister())
        return;
    m_pfnRegister = nullptr;
    m_pfnUnregister = nullptr;
    m_hSessionLibrary.reset();
}

MsgResult CSessionMonitorWindow::OnSessionChange(WPARAM eventCode, LPARAM) {
    const qx::ClientMessage* message = qx::MessageForSessionEvent(m_messages, eventCode);
    if (message && m_hWndTarget)
        ::SendMessageA(m_hWndTarget, message->message, message->wParam, message->lParam);
    return 0;
}

// A close request lets the session library go; the dialog's own close handling
// then hides the window, which stays until LoquenClose.
MsgResult CSessionMonitorWindow::OnClose(WPARAM, LPARAM) {
    ReleaseSessionLibrary();
    return std::nullopt;
}
