// The hidden window that marks a running copy by its title and takes the
// stop request.
#pragma once

#include "framework/Dialog.h"

class CMarkerDlg : public CDialog {
  public:
    CMarkerDlg();

  protected:
    BOOL OnInitDialog() override;
    MessageTable GetMessageTable() const override;

  private:
    MsgResult OnClose(WPARAM wParam, LPARAM lParam);
    static const MessageEntry kMessages[];
};
