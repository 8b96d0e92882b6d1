// A small dialog program built on the framework, for the tests of the chain
// from resource template to window, message table and message box.
#include "ProbeResource.h"

#include "framework/AppText.h"
#include "framework/Dialog.h"
#include "framework/WinApp.h"

namespace {

class CProbeDlg : public CDialog {
  public:
    CProbeDlg() : CDialog(IDD_PROBE) {}

  protected:
    MessageTable GetMessageTable() const override;

  private:
    MsgResult OnFill(WPARAM, LPARAM) {
        SetDlgItemTextA(m_hWnd, IDC_RESULT, "filled");
        return 0;
    }
    MsgResult OnAsk(WPARAM, LPARAM) {
        const int answer = AfxMessageBox(IDS_QUESTION, MB_YESNO | MB_ICONQUESTION);
        SetDlgItemTextA(m_hWnd, IDC_RESULT, answer == IDYES ? "yes" : "no");
        return 0;
    }
    static const MessageEntry kMessages[];
};

const MessageEntry CProbeDlg::kMessages[] = {
    OnCommand(IDC_FILL, &CProbeDlg::OnFill),
    OnCommand(IDC_ASK, &CProbeDlg::OnAsk),
};

MessageTable CProbeDlg::GetMessageTable() const {
    return kMessages;
}

class CProbeApp : public CWinApp {
  public:
    BOOL InitInstance() override {
        CProbeDlg dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        return FALSE;
    }
};

CProbeApp theApp;

} // namespace
