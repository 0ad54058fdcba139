// The sending side of the update dialog: the 50 ms pump with its watchdog and
// keep-alive, the two settle waits around the switches between the
// instrument's programs, and the receive gap.
#include <algorithm>

#include "CommandSet.h"
#include "MessageBox.h"
#include "RepeatTiming.h"
#include "ReplyReceiver.h"
#include "SerialCWnd.h"
#include "SessionEvents.h"
#include "UpdateDlg.h"
#include "UpdateMessages.h"

namespace {

// More ticks than this without a valid frame (about 5 s) give the link up.
constexpr std::int32_t kWatchdogTicks = 100;
constexpr BYTE kDataBits = 8;

}  // namespace

void CUpdateDlg::OnTimer(UINT_PTR id) {
    if (id == m_nPumpTimer) {
        OnPumpTick();
    } else if (id == m_nRxTimer) {
        OnReceiveGap();
    } else if (id == m_nLeaveTimer) {
        OnLeaveSettled();
    } else if (id == m_nEnterTimer) {
        OnEnterSettled();
    }
    CDialog::OnTimer(id);
}

void CUpdateDlg::OnPumpTick() {
    if (!m_pSerial->IsOpen()) {
        return;
    }
    if (++m_nTicks > kWatchdogTicks) {
        KillTimer(m_nPumpTimer);
        if (m_nPhase != PHASE_ENTER) {
            GiveUpLink();
            return;
        }
        // The dialog is cancelled and the count starts afresh; this tick
        // still sends as any other until the run ends.
        AfxMessageBox(kCannotEnterLoaderText, MB_OK);
        OnCancel();
        m_nTicks = 0;
    }
    if (m_nAwaitedCmd != 0 && m_nAwaitedCmd != CMD_IDENTIFY && !ReplaceUnansweredRequest()) {
        RepeatWhenDue();
        return;
    }
    if (!m_queue.IsEmpty()) {
        const QueuedFrame entry = m_queue.TakeHead();
        // Queued frames are at most 253 bytes; the bound only guards the
        // buffer and the room that sealing needs behind the payload.
        const std::size_t length = std::min(
            entry.bytes.size(), sizeof m_txFrame - static_cast<std::size_t>(kFrameCrcSize));
        std::copy_n(entry.bytes.begin(), length, m_txFrame);
        m_nAwaitedCmd = entry.noReply ? 0 : m_txFrame[kFrameCommandIndex];
        StartAwaiting();
        SendTxFrame();
    } else if (m_bKeepAlive) {
        m_nAwaitedCmd = CMD_IDENTIFY;
        if (m_pSerial->SendFrame(m_keepAliveFrame) != 0) {
            EndOnLineFailure();
        }
    }
}

void CUpdateDlg::GiveUpLink() {
    if (m_nPhase == PHASE_LEAVE) {
        AfxMessageBox(kCannotLeaveLoaderText, MB_OK);
    } else {
        AfxMessageBox("Нет связи с Зирон-7!", MB_ICONSTOP);
    }
    // Once the new firmware has passed verification the instrument works;
    // only the way back to its main program is in doubt.
    if (m_bSuccess) {
        OnOK();
    } else {
        EndDialog(kUpdateLinkLost);
    }
}

void CUpdateDlg::SendTxFrame() {
    if (m_pSerial->SendFrame(m_txFrame) != 0) {
        EndOnLineFailure();
        return;
    }
    ++m_nTxSends;
    m_nTicksSinceSend = 0;
}

void CUpdateDlg::StartAwaiting() {
    const LONG baudRate = m_pSerial->GetBaudRate();
    m_nRepeatTicks =
        RepeatIntervalTicks(OutstandingRequest(),
                            baudRate > 0 ? static_cast<std::uint32_t>(baudRate) : 0, kPumpPeriodMs);
    m_nTxSends = 0;
    m_nTicksSinceSend = 0;
    m_nTicksAwaiting = 0;
}

std::span<const std::uint8_t> CUpdateDlg::OutstandingRequest() const {
    return std::span<const std::uint8_t>(m_txFrame).first(
        static_cast<std::size_t>(kFrameHeaderSize + m_txFrame[kFrameLengthIndex]));
}

void CUpdateDlg::RepeatWhenDue() {
    if (++m_nTicksSinceSend >= m_nRepeatTicks) {
        CurrentSession().OnRequestRepeated();
        SendTxFrame();
    }
}

void CUpdateDlg::OnReceiveGap() {
    ReceiveReplies(ReceiveCause::GapElapsed, *m_pSerial, m_rx, ReplyHandler(), *this, m_nRxTimer);
}

void CUpdateDlg::OnEnterSettled() {
    KillTimer(m_nEnterTimer);
    QueueStatusRequest();
    m_bKeepAlive = true;
}

void CUpdateDlg::OnLeaveSettled() {
    KillTimer(m_nLeaveTimer);
    ConfigurePort(m_nDeviceBaud);
    QueueStatusRequest();
    m_bKeepAlive = true;
}

void CUpdateDlg::ConfigurePort(std::int32_t baudRate) {
    m_pSerial->Configure(static_cast<DWORD>(baudRate), kDataBits, NOPARITY, ONESTOPBIT);
}
