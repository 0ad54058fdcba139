#include "UpdateHarness.h"

#include <stdlib.h>

#include <thread>

#include <QTimer>

#include "LinkFrame.h"
#include "SealedFrame.h"

namespace updatetest {
namespace {

constexpr const char* kPortName = "\\\\.\\COM1";
constexpr BYTE kDataBits = 8;
constexpr DWORD kPortEvents = EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR;

using testsupport::Sealed;

}  // namespace

BOOL ObservedUpdateDlg::OnInitDialog() {
    CUpdateDlg::OnInitDialog();
    if (whenRunning) {
        QTimer::singleShot(0, [this] { whenRunning(*this); });
    }
    return TRUE;
}

void ObservedUpdateDlg::OnTimer(UINT_PTR id) {
    barPositions.push_back(m_ctlProgress.GetPos());
    const std::string progress =
        m_strStatus + " | " + m_strPercent + " | " + std::to_string(barPositions.back());
    if (progressSeen.empty() || progressSeen.back() != progress) {
        progressSeen.push_back(progress);
    }
    CUpdateDlg::OnTimer(id);
}

void ObservedUpdateDlg::AddLogLine(const std::string& text) {
    log.push_back(text);
    CUpdateDlg::AddLogLine(text);
}

ScriptedInstrument::ScriptedInstrument(Responder responder)
    : m_line(m_devices.Path(), 1,
             [responder = std::move(responder)](const ReceivedFrame& request, int) {
                 std::vector<testsupport::PtyInstrument::Piece> pieces;
                 for (Bytes& reply : responder(request)) {
                     pieces.push_back({0, Sealed(std::move(reply))});
                 }
                 return pieces;
             }) {}

void ScriptedInstrument::Inject(Bytes frame) {
    m_line.Send(Sealed(std::move(frame)));
}

DWORD HarnessSerial::QueuedInput() {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(portHandle, &errors, &status) ? status.cbInQue : 0;
}

void AwaitInput(ObservedUpdateDlg& dialog, std::size_t bytes, std::chrono::milliseconds most) {
    constexpr auto kPoll = std::chrono::milliseconds(2);
    auto& serial = static_cast<HarnessSerial&>(*dialog.m_pSerial);
    const auto giveUpAt = std::chrono::steady_clock::now() + most;
    while (serial.QueuedInput() < bytes && std::chrono::steady_clock::now() < giveUpAt) {
        std::this_thread::sleep_for(kPoll);
    }
}

UpdateOutcome RunUpdate(ObservedUpdateDlg& dialog, const std::string& deviceDirectory,
                        std::int32_t baud, CFirmwareImage& image, int answerDelayMs,
                        int yesNoAnswer) {
    ::setenv("ZIRON7_DEVICE_DIR", deviceDirectory.c_str(), 1);
    HarnessSerial serial;
    UpdateOutcome outcome;
    if (serial.Open(kPortName, static_cast<CWnd*>(nullptr), 0, 0, 0, 0) != 0) {
        return outcome;
    }
    serial.Configure(static_cast<DWORD>(baud), kDataBits, NOPARITY, ONESTOPBIT);
    serial.SetEventMask(kPortEvents);
    DeviceInfo device;
    device.year = 2011;
    device.month = 7;
    device.serialNumber = 12345;
    device.baudRate = baud;
    dialog.m_pSerial = &serial;
    dialog.m_pDeviceInfo = &device;
    dialog.m_pImage = &image;
    MessageBoxOperator person(answerDelayMs);
    person.SetYesNoAnswer(yesNoAnswer);
    outcome.result = dialog.DoModal();
    outcome.log = dialog.log;
    outcome.boxes = person.Shown();
    return outcome;
}

Bytes Reply(std::uint8_t command, std::span<const std::uint8_t> payload) {
    Bytes frame(kFramePayloadIndex + payload.size());
    frame[kFrameStartIndex] = kRequestStartByte;
    frame[kFrameCommandIndex] = command;
    frame[kFrameLengthIndex] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + kFramePayloadIndex);
    return frame;
}

Bytes InfoTextReply(const std::string& text) {
    return Reply(CMD_INFO,
                 std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Bytes StatusReply(bool bootloaderRuns) {
    const std::uint8_t status = bootloaderRuns ? 0x02 : 0x00;
    return Reply(CMD_STATUS, std::span(&status, 1));
}

}  // namespace updatetest
