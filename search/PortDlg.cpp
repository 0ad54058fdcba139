#include "PortDlg.h"

#include <algorithm>

#include "AboutDlg.h"
#include "CommandSet.h"
#include "DialogResults.h"
#include "FirmwareImage.h"
#include "FormatText.h"
#include "InitialPort.h"
#include "MessageBox.h"
#include "MonotonicClock.h"
#include "PortOpenFailure.h"
#include "SearchBaudRates.h"
#include "SerialCWnd.h"
#include "SerialPorts.h"
#include "UserSettings.h"

namespace {

constexpr UINT kPortDialogTemplateId = 132;
constexpr int kStatusLineId = 1153;
constexpr int kPortListId = 1147;
constexpr int kHelpButtonId = 1167;

constexpr int kFirstPortNumber = 1;   // COM1 ..
constexpr int kLastPortNumber = 255;  // .. COM255
constexpr const char* kDevicePrefix = "\\\\.\\";

constexpr UINT kSearchTickMs = 50;  // one identify request per tick
constexpr std::int32_t kTicksPerRate = 3;
constexpr std::uint8_t kSearchPasses = 5;

constexpr BYTE kDataBits = 8;
// The events the search listens for; only received characters are acted on.
constexpr DWORD kPortEvents = EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR;  // 197

}  // namespace

CPortDlg::CPortDlg(CWnd* parent) : CDialog(kPortDialogTemplateId, parent) {
    // Sealing writes only the CRC behind the payload, so the request is
    // built once and sent as it is on every tick.
    const RequestBytes identify = BuildIdentifyRequest();
    std::copy(identify.begin(), identify.end(), m_probeFrame);
    const std::uint8_t sealedLength = SealFrame(m_probeFrame);
    m_echo.Expect(std::span<const std::uint8_t>(m_probeFrame, sealedLength),
                  OwnEcho::Answer::AlwaysDiffers);
    MapSelectionChanged(kPortListId, [this] { OnSelchangePort(); });
    MapButtonClicked(kHelpButtonId, [this] { OnHelpButton(); });
    MapMessage(serialDefaultComMessage,
               [this](WPARAM wParam, LPARAM lParam) { return OnPortEvent(wParam, lParam); });
}

void CPortDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, kStatusLineId, m_ctlStatus);
    DDX_Control(exchange, kPortListId, m_ctlPort);
    DDX_Text(exchange, kStatusLineId, m_strStatus);
}

BOOL CPortDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (m_pImage != nullptr) {
        SetWindowText(FormatText("Обновление программы Зирон-7 до версии №%d от %s",
                                 m_pImage->GetVersion(), m_pImage->GetBuildDateText().c_str()));
    }
    for (int port = kFirstPortNumber; port <= kLastPortNumber; ++port) {
        m_ctlPort.AddString(FormatText("COM%d", port));
    }
    m_ctlPort.SetCurSel(m_nInitialPort ? *m_nInitialPort : ChooseInitialEntry());
    m_nBaudIndex = 0;
    m_nTicks = 0;
    OnSelchangePort();
    // Without its tick the search would neither send nor ever give up.
    if (!StartTimer(m_nSearchTimer, kSearchTickMs)) {
        GiveUp();
    }
    return TRUE;
}

int CPortDlg::ChooseInitialEntry() const {
    const UserSettings* settings = InstalledUserSettings();
    const std::optional<int> remembered = settings ? settings->LastPort() : std::nullopt;
    std::vector<int> present;
    for (const SerialPortEntry& port : ListSerialPorts()) {
        present.push_back(port.number);
    }
    return ChooseInitialPort(remembered, present) - kFirstPortNumber;
}

void CPortDlg::OnSelchangePort() {
    EnableOk(false);
    m_nScans = 0;
    m_bPortRemembered = false;
    std::string portName;
    m_ctlPort.GetLBText(m_ctlPort.GetCurSel(), portName);
    if (m_pSerial->IsOpen()) {
        m_pSerial->Close();
    }
    const std::string device = kDevicePrefix + portName;
    const LONG opened = m_pSerial->Open(device.c_str(), this, 0, 0, 0, 0);
    if (opened != 0) {
        m_strStatus = PortOpenStatus(portName, opened);
        m_ctlStatus.SetToolTip(DescribePortOpenFailure(portName, opened));
    } else {
        m_nBaudIndex = 0;
        m_nTicks = 0;
        ConfigureLine();
        m_pSerial->SetEventMask(kPortEvents);
        m_strStatus = "Порт " + portName + " доступен";
        m_ctlStatus.SetToolTip("");
    }
    ShowStatus();
}

void CPortDlg::OnTimer(UINT_PTR id) {
    if (id == m_nSearchTimer) {
        OnSearchTick();
    } else if (id == m_nRxTimer && TakeInReplies(ReceiveCause::GapElapsed)) {
        ShowStatus();
    }
    CDialog::OnTimer(id);
}

void CPortDlg::OnSearchTick() {
    if (!m_pSerial->IsOpen()) {
        return;
    }
    // A reply already in the driver came in before this tick: it is taken in
    // before the rate can change, so that it is recorded with the rate it
    // came at and holds it, as any reply does. Each tick's read also marks
    // the moment after which what comes in came after it (RateOfReplies).
    if (TakeInReplies(ReceiveCause::CharactersArrived)) {
        ShowStatus();
    }
    if (++m_nTicks >= kTicksPerRate && !MoveToNextRate()) {
        return;
    }
    m_echo.Send(*m_pSerial, m_probeFrame, OwnEcho::Answer::AlwaysDiffers);
}

bool CPortDlg::MoveToNextRate() {
    m_nTicks = 0;
    if (++m_nBaudIndex >= SearchBaudRates.size()) {
        m_nBaudIndex = 0;
        if (++m_nScans >= kSearchPasses) {
            GiveUp();
            return false;
        }
    }
    ConfigureLine();
    m_strStatus = FormatText("Поиск... Скорость %d", CurrentRate());
    ShowStatus();
    EnableOk(false);
    return true;
}

void CPortDlg::GiveUp() {
    KillTimer(m_nSearchTimer);
    AfxMessageBox("Нет связи с Зирон-7!", MB_OK | MB_ICONSTOP);
    // Nothing more goes out once the search has given up.
    OnCancel();
}

void CPortDlg::ConfigureLine() {
    m_pSerial->Configure(static_cast<DWORD>(CurrentRate()), kDataBits, NOPARITY, ONESTOPBIT);
    // What waits in the input, and a partial frame held, came before this
    // rate: bytes an adapter kept from before the port opened, or a reply
    // to the rate before. Completed by later bytes they would make a frame
    // that names no rate, or hide the reply behind them.
    FlushReplies(*m_pSerial, m_rx);
    m_replyRate.RateSet(MonotonicNow());
}

LRESULT CPortDlg::OnPortEvent(WPARAM wParam, LPARAM) {
    if ((NotifiedEvents(wParam) & EV_RXCHAR) != 0) {
        TakeInReplies(ReceiveCause::CharactersArrived);
    }
    ShowStatus();
    return 0;
}

bool CPortDlg::TakeInReplies(ReceiveCause cause) {
    const MonotonicTime readAt = MonotonicNow();
    const bool arrived =
        ReceiveReplies(cause, *m_pSerial, m_rx, m_echo, ReplyHandler(), *this, m_nRxTimer);
    m_replyRate.PortRead(readAt);
    return arrived;
}

void CPortDlg::OnReply(std::span<const std::uint8_t> frame) {
    if (!m_bUnattended) {
        m_nTicks = 0;
    }
    // A reply that may have been received at the rate before says nothing
    // about this one: it names no rate and enables nothing.
    const bool atThisRate = m_replyRate.OnlyThisRate();
    const std::int32_t rate = CurrentRate();
    if (ReplyCommand(frame) != CMD_IDENTIFY) {
        m_bAnotherDeviceHeard = true;
        if (atThisRate) {
            m_strStatus = FormatText("На линии связи не Зирон-7. Скорость %d", rate);
        }
        return;
    }
    // A reply too short to carry the date and serial number identifies
    // nothing, whatever its type byte says.
    const std::optional<IdentifyReply> identity = DecodeIdentifyReply(frame);
    if (!identity || identity->deviceType != kZiron7DeviceType) {
        m_bAnotherDeviceHeard = true;
        if (atThisRate) {
            m_strStatus =
                FormatText("Найдено неизвестное устройство (Не есть Зирон-7). Скорость %d", rate);
        }
        return;
    }
    // The Зирон-7 answered at this rate or the one before: the rate is
    // held and asked again, and the next reply tells.
    m_nTicks = 0;
    if (!atThisRate) {
        return;
    }
    m_strStatus = FormatText("Зирон-7 найден. Скорость %d", rate);
    const FoundInstrument found{identity->deviceType, identity->serialNumber, identity->year,
                                identity->month, static_cast<std::uint32_t>(rate)};
    if (found != m_reportedInstrument) {
        m_reportedInstrument = found;
        CurrentSession().OnInstrumentFound(found);
    }
    if (m_pDeviceInfo != nullptr) {
        m_pDeviceInfo->year = identity->year;
        m_pDeviceInfo->month = identity->month;
        m_pDeviceInfo->serialNumber = identity->serialNumber;
        m_pDeviceInfo->baudRate = rate;
    }
    RememberPort();
    EnableOk(true);
}

void CPortDlg::RememberPort() {
    UserSettings* settings = InstalledUserSettings();
    if (m_bPortRemembered || settings == nullptr) {
        return;
    }
    // The instrument keeps answering while the dialog stays open; the file
    // is written at the first answer only. A failed write is no reason to
    // disturb the search: the next start simply does not know the port.
    settings->RememberPort(m_ctlPort.GetCurSel() + kFirstPortNumber);
    m_bPortRemembered = true;
}

void CPortDlg::OnHelpButton() {
    CAboutDlg about(nullptr);
    about.DoModal();
}

FrameReassembler::FrameHandler CPortDlg::ReplyHandler() {
    return [this](std::span<const std::uint8_t> frame) { OnReply(frame); };
}

CPortDlg::LineHeard CPortDlg::Heard() const {
    if (m_bAnotherDeviceHeard) {
        return LineHeard::AnotherDevice;
    }
    return m_echo.EchoesPassedOver() > 0 ? LineHeard::OwnBytes : LineHeard::Nothing;
}

std::int32_t CPortDlg::CurrentRate() const {
    return SearchBaudRates[m_nBaudIndex];
}

void CPortDlg::EnableOk(bool enable) {
    if (CControl* ok = GetDlgItem(IDOK)) {
        ok->EnableWindow(enable ? TRUE : FALSE);
    }
}

void CPortDlg::ShowStatus() {
    UpdateData(FALSE);
}
