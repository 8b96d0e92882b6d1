#include "OsdDlg.h"

#include "NoticeLayout.h"
#include "VolumeCommand.h"
#include "resource.h"

#include "framework/Handles.h"
#include "framework/StartLock.h"

#include <vector>

COsdDlg::COsdDlg(const osd::OsdParams& params) : CDialog(IDD_OSD_DIALOG), m_params(params) {}

const MessageEntry COsdDlg::kMessages[] = {
    OnMessage(WM_CLOSE, &COsdDlg::OnOsdCommand),
    OnMessage(WM_TIMER, &COsdDlg::OnTimer),
    OnMessage(WM_DESTROY, &COsdDlg::OnDestroy),
};

MessageTable COsdDlg::GetMessageTable() const {
    return kMessages;
}

void COsdDlg::RunUntilEnded() {
    MSG message;
    while (m_hWnd && ::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

void COsdDlg::End() {
    DestroyWindow();
}

BOOL COsdDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetWindowTextA(m_hWnd, osd::OSD_INSTANCE_GUID);
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &m_rcWorkArea, 0);
    qx::unique_hrgn nothing(::CreateRectRgn(0, 0, 0, 0));
    if (::SetWindowRgn(m_hWnd, nothing.get(), FALSE))
        nothing.release();

    const osd::VolumeCommand command = osd::ParseVolumeCommand(m_params.text);
    const bool shown =
        command.type != osd::OSD_TEXT ? ShowVolume(command.type, command.level) : ShowText();
    // Without a notice on screen there is nothing to wait for.
    if (!shown)
        End();
    // No focus: the keys stay with the user's window.
    return FALSE;
}

std::unique_ptr<CShapedTextWnd> COsdDlg::CreateNoticeWindow() {
    auto window = std::make_unique<CShapedTextWnd>();
    if (!window->Create(m_hWnd))
        return nullptr;
    return window;
}

void COsdDlg::RestartEndTimer(UINT milliseconds) {
    ::SetTimer(m_hWnd, TIMER_OSD_END, milliseconds, nullptr);
}

bool COsdDlg::ShowText() {
    m_pBarWnd = CreateNoticeWindow();
    if (!m_pBarWnd)
        return false;
    m_pBarWnd->Configure(m_params.text, m_params.faceName, m_params.colour, m_params.height, 0,
                         m_params.weight, m_params.italic);
    m_pBarWnd->ShapeToText();
    m_pBarWnd->MoveTo(osd::NoticeTop(m_rcWorkArea.bottom, m_pBarWnd->ClientHeight()));
    m_pBarWnd->ShowWithoutActivation();
    RestartEndTimer(static_cast<UINT>(m_params.displayTime));
    return true;
}

bool COsdDlg::ShowVolume(int type, std::int64_t level) {
    const std::string labelText = osd::VolumeLabel(type);
    if (!m_pLabelWnd) {
        m_pLabelWnd = CreateNoticeWindow();
        if (!m_pLabelWnd)
            return false;
        m_pLabelWnd->Configure(labelText, m_params.faceName, m_params.colour, m_params.height, 0,
                               m_params.weight, m_params.italic);
    }

    m_pBarWnd.reset();
    m_pBarWnd = CreateNoticeWindow();
    if (!m_pBarWnd)
        return false;
    const int workAreaWidth = m_rcWorkArea.right - m_rcWorkArea.left;
    m_pBarWnd->Configure(osd::VolumeBar(level), osd::VOLUME_BAR_FACE, m_params.colour,
                         osd::VOLUME_BAR_HEIGHT, osd::VolumeBarWidth(workAreaWidth),
                         osd::VOLUME_BAR_WEIGHT, m_params.italic);
    m_pBarWnd->ShapeToText();
    const int barHeight = m_pBarWnd->ClientHeight();
    m_pBarWnd->MoveTo(osd::NoticeTop(m_rcWorkArea.bottom, barHeight));

    // An unchanged label stays where it is, already shaped and shown.
    if (labelText != m_strLastLabel) {
        m_strLastLabel = labelText;
        m_pLabelWnd->SetText(labelText);
        m_pLabelWnd->ShapeToText();
        m_pLabelWnd->MoveTo(
            osd::NoticeTop(m_rcWorkArea.bottom, m_pLabelWnd->ClientHeight(), barHeight));
        m_pLabelWnd->ShowWithoutActivation();
    }
    m_pBarWnd->ShowWithoutActivation();
    RestartEndTimer(osd::VOLUME_HOLD_TIME);
    return true;
}

void COsdDlg::TakeQueuedCommands(std::vector<osd::OsdMessage>& commands) {
    MSG waiting;
    while (m_hWnd && ::PeekMessageA(&waiting, m_hWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        commands.push_back({waiting.wParam, waiting.lParam});
}

MsgResult COsdDlg::OnOsdCommand(WPARAM wParam, LPARAM lParam) {
    std::vector<osd::OsdMessage> commands = {{wParam, lParam}};
    TakeQueuedCommands(commands);
    // A sent end request may have been served while looking.
    if (!m_hWnd)
        return 0;

    const osd::OsdDecision decision = osd::DecideOsdCommands(commands);
    if (decision.action == osd::OsdAction::End)
        End();
    else if (decision.action == osd::OsdAction::ShowVolume &&
             !ShowVolume(decision.volume.type, decision.volume.level))
        End();
    // Never the default close handling: the message is a command here.
    return 0;
}

MsgResult COsdDlg::OnTimer(WPARAM, LPARAM) {
    // Copies find this display and hand their commands over under the start
    // lock, so the display ends under it too: a command posted before the
    // end is in the queue now and is shown, and a copy that comes later
    // finds no display and shows its notice itself.
    CStartLock lock(osd::OSD_INSTANCE_GUID, 0);
    if (lock.Busy()) {
        RestartEndTimer(OSD_END_RETRY_TIME);
        return std::nullopt;
    }
    std::vector<osd::OsdMessage> commands;
    TakeQueuedCommands(commands);
    if (!m_hWnd)
        return std::nullopt;
    const osd::OsdDecision decision = osd::DecideOsdCommands(commands);
    if (decision.action != osd::OsdAction::ShowVolume ||
        !ShowVolume(decision.volume.type, decision.volume.level))
        End();
    return std::nullopt;
}

MsgResult COsdDlg::OnDestroy(WPARAM, LPARAM) {
    m_pBarWnd.reset();
    m_pLabelWnd.reset();
    ::PostQuitMessage(0);
    return std::nullopt;
}
