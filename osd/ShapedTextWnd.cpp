#include "ShapedTextWnd.h"

#include "NoticeLayout.h"
#include "resource.h"

CShapedTextWnd::CShapedTextWnd() : CDialog(IDD_SHAPED_TEXT) {}

CShapedTextWnd::~CShapedTextWnd() {
    DestroyWindow();
}

const MessageEntry CShapedTextWnd::kMessages[] = {
    OnMessage(WM_CTLCOLORMSGBOX, &CShapedTextWnd::OnCtlColor),
    OnMessage(WM_CTLCOLOREDIT, &CShapedTextWnd::OnCtlColor),
    OnMessage(WM_CTLCOLORLISTBOX, &CShapedTextWnd::OnCtlColor),
    OnMessage(WM_CTLCOLORBTN, &CShapedTextWnd::OnCtlColor),
    OnMessage(WM_CTLCOLORDLG, &CShapedTextWnd::OnCtlColor),
    OnMessage(WM_CTLCOLORSCROLLBAR, &CShapedTextWnd::OnCtlColor),
    OnMessage(WM_CTLCOLORSTATIC, &CShapedTextWnd::OnCtlColor),
};

MessageTable CShapedTextWnd::GetMessageTable() const {
    return kMessages;
}

BOOL CShapedTextWnd::OnInitDialog() {
    CDialog::OnInitDialog();
    // No focus for a notice: the keys stay with the user's window.
    return FALSE;
}

void CShapedTextWnd::Configure(const std::string& text, const std::string& faceName,
                               COLORREF colour, int height, int width, int weight, int italic) {
    m_brush.reset(::CreateSolidBrush(colour));
    // A negative height asks for the character height, not the cell height.
    m_font.reset(::CreateFontA(-height, width, 0, 0, weight, italic & 0xFF, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                               PROOF_QUALITY, 0, faceName.c_str()));
    SetText(text);
}

void CShapedTextWnd::SetText(const std::string& text) {
    m_strText = text;
    ::SetWindowTextA(m_hWnd, text.c_str());
}

namespace {

// Where each character of an ANSI string ends, double-byte characters whole.
std::vector<std::size_t> CharacterEnds(const std::string& text) {
    std::vector<std::size_t> ends;
    const char* const start = text.c_str();
    for (const char* p = start; *p;) {
        p = ::CharNextA(p);
        ends.push_back(static_cast<std::size_t>(p - start));
    }
    return ends;
}

int TextWidth(HDC dc, const std::string& text, std::size_t length) {
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(length), &size);
    return size.cx;
}

} // namespace

void CShapedTextWnd::ShapeToText() {
    std::string drawn = osd::ShapedString(m_strText);
    qx::unique_window_dc dc(m_hWnd);
    {
        qx::select_object_scope font(dc.get(), m_font.get());
        // A notice ends at the screen's right edge: more would not be seen,
        // and a window far wider than the screen is more than some systems
        // can take.
        drawn.resize(osd::FittingLength(
            CharacterEnds(drawn), ::GetSystemMetrics(SM_CXSCREEN),
            [&](std::size_t length) { return TextWidth(dc.get(), drawn, length); }));
        const int length = static_cast<int>(drawn.size());
        SIZE cell = {};
        ::GetTextExtentPoint32A(dc.get(), drawn.c_str(), length, &cell);
        // Not every GDI puts the opaque text background into a path, so the
        // cell box is a figure of its own and the text adds only its outlines:
        // with alternate filling the path is the box with the glyphs cut out.
        ::SetBkMode(dc.get(), TRANSPARENT);
        ::BeginPath(dc.get());
        ::MoveToEx(dc.get(), 0, 0, nullptr);
        ::LineTo(dc.get(), cell.cx, 0);
        ::LineTo(dc.get(), cell.cx, cell.cy);
        ::LineTo(dc.get(), 0, cell.cy);
        ::CloseFigure(dc.get());
        ::TextOutA(dc.get(), 0, 0, drawn.c_str(), length);
        ::EndPath(dc.get());
    }
    qx::unique_hrgn cutOut(::PathToRegion(dc.get()));
    if (!cutOut)
        cutOut.reset(::CreateRectRgn(0, 0, 0, 0));
    RECT box = {};
    ::GetRgnBox(cutOut.get(), &box);
    qx::unique_hrgn boxRegion(::CreateRectRgnIndirect(&box));
    qx::unique_hrgn glyphs(::CreateRectRgn(0, 0, 0, 0));
    ::CombineRgn(glyphs.get(), boxRegion.get(), cutOut.get(), RGN_DIFF);

    ::ShowWindow(m_hWnd, SW_HIDE);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, box.right - box.left, box.bottom - box.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    // The region belongs to the window from here on.
    if (::SetWindowRgn(m_hWnd, glyphs.get(), TRUE))
        glyphs.release();
}

void CShapedTextWnd::MoveTo(int y) {
    ::SetWindowPos(m_hWnd, nullptr, 0, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CShapedTextWnd::ClientHeight() const {
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    return client.bottom - client.top;
}

void CShapedTextWnd::ShowWithoutActivation() {
    // Topmost here as well: not every system makes a system-modal dialog topmost.
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

MsgResult CShapedTextWnd::OnCtlColor(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_brush.get());
}
