// The library's own hidden window: registered for this session's change
// notifications, it hands the two that matter to the client's window.
#pragma once

#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "session/SessionEvents.h"

class CSessionMonitorWindow : public CDialog {
  public:
    CSessionMonitorWindow();
    // Unregisters and lets the session library go before the window goes, so
    // no registration outlives its window.
    ~CSessionMonitorWindow() override;

    // One registration attempt; true once the window is registered.
    bool TryRegister();
    void SetTargetWindow(HWND window) { m_hWndTarget = window; }
    void SetClientMessages(const qx::ClientMessages& messages) { m_messages = messages; }

  protected:
    BOOL OnInitDialog() override;
    MessageTable GetMessageTable() const override;

  private:
    using RegisterFunction = BOOL(WINAPI*)(HWND, DWORD);
    using UnregisterFunction = BOOL(WINAPI*)(HWND);

    bool LoadSessionLibrary();
    void ReleaseSessionLibrary();
    // False when this object was deleted meanwhile, and must be left untouched.
    bool Unregister();
    bool ShowUnregisterFailure();
    MsgResult OnSessionChange(WPARAM eventCode, LPARAM);
    MsgResult OnClose(WPARAM, LPARAM);

    static const MessageEntry kMessages[];

    qx::ClientMessages m_messages;
    BOOL m_bRegistered = FALSE;
    qx::unique_hmodule m_hSessionLibrary;
    HWND m_hWndTarget = nullptr;
    RegisterFunction m_pfnRegister = nullptr;
    UnregisterFunction m_pfnUnregister = nullptr;
    // The innermost box's flag, which the destructor sets.
    bool* m_pbGone = nullptr;
};
