// Dialog windows from resource templates, with per-class message tables.
#pragma once

#include "MessageTable.h"

#include <windows.h>

#include <optional>

// What a handler gives back: a result, or nothing to leave the message to the
// default dialog handling.
using MsgResult = std::optional<LRESULT>;

class CDialog;
using MessageHandler = MsgResult (CDialog::*)(WPARAM, LPARAM);

struct MessageEntry {
    qx::MessageKey key;
    MessageHandler handler;
};

struct MessageTable {
    const MessageEntry* entries = nullptr;
    std::size_t count = 0;
    MessageTable() = default;
    template <std::size_t N>
    MessageTable(const MessageEntry (&table)[N]) : entries(table), count(N) {}
};

template <typename D>
MessageEntry OnMessage(UINT message, MsgResult (D::*handler)(WPARAM, LPARAM)) {
    return {{message, 0, 0, qx::kAnyNotification}, static_cast<MessageHandler>(handler)};
}

template <typename D>
MessageEntry OnCommandRange(UINT idFirst, UINT idLast, MsgResult (D::*handler)(WPARAM, LPARAM)) {
    return {{WM_COMMAND, idFirst, idLast, qx::kAnyNotification},
            static_cast<MessageHandler>(handler)};
}

template <typename D> MessageEntry OnCommand(UINT id, MsgResult (D::*handler)(WPARAM, LPARAM)) {
    return OnCommandRange(id, id, handler);
}

template <typename D>
MessageEntry OnNotification(UINT id, UINT notification, MsgResult (D::*handler)(WPARAM, LPARAM)) {
    return {{WM_COMMAND, id, id, notification}, static_cast<MessageHandler>(handler)};
}

class CDialog {
  public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;
    virtual ~CDialog();

    INT_PTR DoModal();
    BOOL Create(HWND parent = nullptr);
    void EndDialog(int result);
    BOOL DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

    HWND m_hWnd = nullptr;

  protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual MessageTable GetMessageTable() const { return {}; }

    UINT m_nIDTemplate;
    HWND m_hWndParent;

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    // Calls a handler; false when the object was deleted before it returned
    // (by code the handler called), and must then be left untouched.
    bool CallHandler(MessageHandler handler, WPARAM wParam, LPARAM lParam, MsgResult* result);

    // The innermost running handler's flag, which the destructor sets.
    bool* m_pDeleted = nullptr;
};

// The module whose resources this copy of the framework loads from: the
// program or library it is linked into.
HINSTANCE AfxGetResourceHandle();
