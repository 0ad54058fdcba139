#include "UpdateDlg.h"

#include <algorithm>

#include "AccessCode.h"
#include "CommandSet.h"
#include "FirmwareImage.h"
#include "FormatText.h"
#include "ReplyReceiver.h"
#include "SerialCWnd.h"
#include "SessionEvents.h"
#include "UpdateMessages.h"

namespace {

constexpr UINT kUpdateDialogTemplateId = 134;
constexpr int kLogListId = 1197;
constexpr int kProgressBarId = 1164;
constexpr int kPercentTextId = 1179;
constexpr int kStatusTextId = 1198;

constexpr short kProgressLowest = 0;  // percent
constexpr short kProgressHighest = 100;
// The log's one column spans the dialog: in dialog units, so that it grows
// with the font and the DPI.
constexpr int kLogColumnWidth = 400;  // dialog units

}  // namespace

CUpdateDlg::CUpdateDlg(CWnd* parent) : CDialog(kUpdateDialogTemplateId, parent) {
    const RequestBytes identify = BuildIdentifyRequest();
    std::copy(identify.begin(), identify.end(), m_keepAliveFrame);
    MapMessage(serialDefaultComMessage,
               [this](WPARAM wParam, LPARAM lParam) { return OnPortEvent(wParam, lParam); });
    // Enter reaches a dialog as IDOK; here it must not end the update. The
    // update ends with IDOK only through its own outcomes.
    MapButtonClicked(IDOK, [] {});
}

CUpdateDlg::~CUpdateDlg() = default;

void CUpdateDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, kLogListId, m_ctlLog);
    DDX_Control(exchange, kProgressBarId, m_ctlProgress);
    DDX_Text(exchange, kPercentTextId, m_strPercent);
    DDX_Text(exchange, kStatusTextId, m_strStatus);
}

BOOL CUpdateDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_pSerial->SetOwner(this);
    m_ctlProgress.SetRange(kProgressLowest, kProgressHighest);
    m_ctlProgress.SetPos(kProgressLowest);
    SetWindowText(FormatText("Обновление программы Зирон-7 до версии №%d от %s",
                             m_pImage->GetVersion(), m_pImage->GetBuildDateText().c_str()));
    m_pacer = SendPacer(m_nPacing);
    // Without the pump nothing would go out and no watchdog would end the
    // run; the start-up still runs to its end, then the run ends unfinished.
    const bool pumping = StartTimer(m_nPumpTimer, kPumpPeriodMs);
    m_ctlLog.InsertColumn(0, "", LVCFMT_LEFT, DialogUnitsToPixelsX(kLogColumnWidth));
    m_nLogLine = 0;
    AddLogLine(FormatText("Зирон-7 найден. Скорость %d", m_pDeviceInfo->baudRate));
    AddLogLine(FormatText("Серийный номер %d. Дата выпуска %d/%d", m_pDeviceInfo->serialNumber,
                          m_pDeviceInfo->month, m_pDeviceInfo->year));
    if (m_pacer.IsFast()) {
        // The operator and the session log know which pace the run had.
        AddLogLine(kFastPaceText);
    }
    FlushInput();
    m_nInfoStep = kInfoStepDate;
    QueueInfoRequest();
    m_nDeviceBaud = m_pSerial->GetBaudRate();
    if (!pumping) {
        GiveUpLink();
    }
    return TRUE;
}

void CUpdateDlg::AddLogLine(const std::string& text) {
    m_ctlLog.InsertItem(m_nLogLine, text);
    ++m_nLogLine;
    CurrentSession().OnLogLine(text);
}

void CUpdateDlg::QueueInfoRequest() {
    m_queue.AddHead(false, BuildInfoRequest(m_nInfoStep));
}

void CUpdateDlg::QueueStatusRequest() {
    m_queue.AddHead(false, BuildStatusRequest());
}

void CUpdateDlg::QueueSwitchToLoader() {
    m_bKeepAlive = false;
    m_queue.Clear();
    m_queue.AddHead(false, BuildSwitchRequest(kAccessCode));
}

void CUpdateDlg::QueueSwitchToMain() {
    m_bKeepAlive = false;
    m_queue.Clear();
    // The bootloader starts the main program without answering.
    m_queue.AddHead(true, BuildSwitchRequest(kAccessCode));
}

void CUpdateDlg::QueueImageFrame() {
    m_queue.AddHead(false, m_pImage->GetFrame());
}

void CUpdateDlg::FlushInput() {
    FlushReplies(*m_pSerial, m_rx);
}

FrameReassembler::FrameHandler CUpdateDlg::ReplyHandler() {
    return [this](std::span<const std::uint8_t> frame) { OnFrame(frame); };
}
