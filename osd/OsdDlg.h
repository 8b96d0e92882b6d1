// The display's main dialog: invisible, titled so that later copies find it,
// it shows the notice windows and ends when its time is up.
#pragma once

#include "OsdCommandLine.h"
#include "ShapedTextWnd.h"
#include "VolumeCommand.h"

#include "framework/Dialog.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The one timer of the main dialog: the notice's time is up.
constexpr UINT_PTR TIMER_OSD_END = 1000;
// While a copy is handing a command over, the end waits this long and looks
// again.
constexpr UINT OSD_END_RETRY_TIME = 10;

class COsdDlg : public CDialog {
  public:
    explicit COsdDlg(const osd::OsdParams& params);

    // Serves the thread's messages until the display has ended. The dialog
    // box manager's own modal run is not used: it shows and activates the
    // dialog, which would take the keys from the window the user types in.
    void RunUntilEnded();
    // Closes the display as confirmed.
    void End();

  protected:
    BOOL OnInitDialog() override;
    MessageTable GetMessageTable() const override;

  private:
    // Both give false when a notice window cannot be created.
    bool ShowText();
    bool ShowVolume(int type, std::int64_t level);
    std::unique_ptr<CShapedTextWnd> CreateNoticeWindow();
    void RestartEndTimer(UINT milliseconds);

    // Hand-over messages that queued up behind the one in hand are taken
    // together, so a burst ends on the newest level; other messages are left.
    void TakeQueuedCommands(std::vector<osd::OsdMessage>& commands);
    MsgResult OnOsdCommand(WPARAM, LPARAM);
    MsgResult OnTimer(WPARAM, LPARAM);
    MsgResult OnDestroy(WPARAM, LPARAM);

    osd::OsdParams m_params;
    RECT m_rcWorkArea = {};
    std::unique_ptr<CShapedTextWnd> m_pLabelWnd;
    std::unique_ptr<CShapedTextWnd> m_pBarWnd; // the volume bar, or the text of a text notice
    std::string m_strLastLabel;                // the label text last placed on screen

    static const MessageEntry kMessages[];
};
