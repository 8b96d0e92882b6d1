// A notice window: borderless, topmost, without task-bar button, whose
// visible area is exactly the glyphs of its text, filled with one colour.
// Disabled by its template, it takes no mouse or keyboard input.
#pragma once

#include "framework/Dialog.h"
#include "framework/Handles.h"

#include <string>

class CShapedTextWnd : public CDialog {
  public:
    CShapedTextWnd();
    // The window goes before the font and brush it paints with.
    ~CShapedTextWnd() override;

    // Called once, right after creation: text, font and colour.
    void Configure(const std::string& text, const std::string& faceName, COLORREF colour,
                   int height, int width, int weight, int italic);
    // Replaces only the text; font and colour stay.
    void SetText(const std::string& text);
    // Gives the window the shape and size of its text, at (0, 0), hidden.
    void ShapeToText();
    // Moves the window so its left is at the screen's left edge and its top at y.
    void MoveTo(int y);
    int ClientHeight() const;
    // Shows the window on top without activating it: the user's window keeps
    // the keys.
    void ShowWithoutActivation();

  protected:
    BOOL OnInitDialog() override;
    MessageTable GetMessageTable() const override;

  private:
    MsgResult OnCtlColor(WPARAM, LPARAM);

    std::string m_strText;
    qx::unique_hfont m_font;
    qx::unique_hbrush m_brush;

    static const MessageEntry kMessages[];
};
