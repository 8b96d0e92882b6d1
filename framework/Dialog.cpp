#include "Dialog.h"

#include <windowsx.h>

#include <utility>

static_assert(qx::kCommandMessage == WM_COMMAND, "message table keys use WM_COMMAND");

extern "C" IMAGE_DOS_HEADER __ImageBase;

HINSTANCE AfxGetResourceHandle() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

CDialog::CDialog(UINT templateId, HWND parent) : m_nIDTemplate(templateId), m_hWndParent(parent) {}

CDialog::~CDialog() {
    if (m_pDeleted)
        *m_pDeleted = true;
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal() {
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), m_hWndParent,
                             DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(HWND parent) {
    m_hWndParent = parent;
    return ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), parent,
                                DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(int result) {
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::DestroyWindow() {
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->m_hWnd = window;
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog)
        return FALSE;
    const INT_PTR handled = dialog->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
    }
    return handled;
}

bool CDialog::CallHandler(MessageHandler handler, WPARAM wParam, LPARAM lParam, MsgResult* result) {
    bool deleted = false;
    bool* const outer = std::exchange(m_pDeleted, &deleted);
    *result = (this->*handler)(wParam, lParam);
    if (deleted) {
        // Handlers further out on the stack must not touch the object either.
        if (outer)
            *outer = true;
        return false;
    }
    m_pDeleted = outer;
    return true;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    const MessageTable table = GetMessageTable();
    const std::size_t index = qx::FindMessageEntry(table.entries, table.count, message, wParam);
    if (index < table.count) {
        MsgResult result;
        if (!CallHandler(table.entries[index].handler, wParam, lParam, &result))
            return result.has_value();
        if (!result)
            return FALSE;
        return SetDlgMsgResult(m_hWnd, message, *result);
    }
    if (message == WM_INITDIALOG)
        return OnInitDialog();
    if (message == WM_COMMAND && HIWORD(wParam) <= 1 && LOWORD(wParam) == IDOK) {
        OnOK();
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) <= 1 && LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}
