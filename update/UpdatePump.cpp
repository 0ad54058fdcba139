// The sending side of the update dialog: the next request as soon as the
// pace allows, the 50 ms pump with its repeats, watchdog and keep-alive, the
// two settle waits around the switches between the instrument's programs,
// and the receive gap.
#include <algorithm>
#include <chrono>
#include <thread>

#include "CommandSet.h"
#include "MessageBox.h"
#include "RepeatTiming.h"
#include "ReplyReceiver.h"
#include "SerialCWnd.h"
#include "SessionEvents.h"
#include "UpdateDlg.h"
#include "UpdateMessages.h"

namespace {

// More ticks than this without a reply taken (about 5 s) give the link up.
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
    } else if (id == m_nPaceTimer) {
        OnPaceDue();
    }
    CDialog::OnTimer(id);
}

void CUpdateDlg::OnPumpTick() {
    if (!m_pSerial->IsOpen()) {
        return;
    }
    // Once an outcome is shown it stands; the pump only keeps the link alive.
    if (!m_bConcluded && ++m_nTicks > kWatchdogTicks) {
        GiveUpLink();
        if (m_nPhase != PHASE_ENTER) {
            return;
        }
        // The dialog is cancelled and the count starts afresh; this tick
        // still sends as any other until the run ends.
        m_nTicks = 0;
    }
    if (ServeOutstandingRequest() || SendNextWhenPaced() || !m_bKeepAlive) {
        return;
    }
    const PaceTime now = MonotonicNow();
    if (m_pacer.WaitBeforeKeepAlive(now) > PaceTime::zero()) {
        return;  // a request went out a moment ago; the next tick keeps the link alive
    }
    m_nAwaitedCmd = CMD_IDENTIFY;
    if (m_echo.Send(*m_pSerial, m_keepAliveFrame, OwnEcho::Answer::AlwaysDiffers) != 0) {
        GiveUpLink();
        return;
    }
    m_pacer.Sent(now, false);
}

void CUpdateDlg::OnPaceDue() {
    KillTimer(m_nPaceTimer);
    if (!m_pSerial->IsOpen()) {
        return;
    }
    if (!ServeOutstandingRequest()) {
        SendNextWhenPaced();
    }
}

bool CUpdateDlg::ServeOutstandingRequest() {
    if (!RequestOutstanding()) {
        return false;
    }
    // Judged at the moment the request could go out again (a fraction of a
    // millisecond is waited, not timed): a request that has waited long
    // enough by then is given up, and its replacement goes out rather than
    // one more copy of it (a second switch would undo the first).
    const PaceTime now = MonotonicNow();
    const PaceTime repeatWait = m_pacer.WaitBeforeRepeat(now);
    if (ReplaceUnansweredRequest(now + std::min<PaceTime>(repeatWait, std::chrono::milliseconds(1)))) {
        return false;
    }
    RepeatWhenDue();
    return true;
}

bool CUpdateDlg::SendNextWhenPaced() {
    if (m_queue.IsEmpty() || RequestOutstanding()) {
        return false;
    }
    if (!PacedNow(m_pacer.WaitBeforeNext(MonotonicNow(), PassInProgress()))) {
        return true;
    }
    const QueuedFrame entry = m_queue.TakeHead();
    // Queued frames are at most 253 bytes; the bound only guards the buffer
    // and the room that sealing needs behind the payload.
    const std::size_t length =
        std::min(entry.bytes.size(), sizeof m_txFrame - static_cast<std::size_t>(kFrameCrcSize));
    const bool previousWasLoader = m_txFrame[kFrameCommandIndex] == CMD_LOADER;
    std::copy_n(entry.bytes.begin(), length, m_txFrame);
    m_nAwaitedCmd = entry.noReply ? 0 : m_txFrame[kFrameCommandIndex];
    StartAwaiting(previousWasLoader);
    SendTxFrame();
    return true;
}

void CUpdateDlg::AfterReceiving(std::size_t checksumFailuresBefore) {
    if (m_rx.ChecksumFailures() != checksumFailuresBefore) {
        FallBackToDefaultPace(kChecksumSlowsText);
    }
    if (m_bReplyTaken) {
        m_bReplyTaken = false;
        SendNextWhenPaced();
    }
}

void CUpdateDlg::FallBackToDefaultPace(const char* reason) {
    if (PassInProgress() && m_pacer.FallBack()) {
        AddLogLine(reason);
    }
}

bool CUpdateDlg::PassInProgress() const {
    return m_nPhase == PHASE_WRITE || m_nPhase == PHASE_VERIFY;
}

bool CUpdateDlg::RequestOutstanding() const {
    // The keep-alive's identify is awaited too, but it holds nothing back.
    return m_nAwaitedCmd != 0 && m_nAwaitedCmd != CMD_IDENTIFY;
}

void CUpdateDlg::GiveUpLink() {
    KillTimer(m_nPumpTimer);
    KillTimer(m_nPaceTimer);
    if (m_nPhase == PHASE_ENTER) {
        Conclude(kCannotEnterLoaderText, MB_OK, IDCANCEL);
        return;
    }
    // Once the new firmware has passed verification the instrument works;
    // only the way back to its main program is in doubt.
    const int endCode = m_bSuccess ? IDOK : kUpdateLinkLost;
    if (m_nPhase == PHASE_LEAVE) {
        Conclude(kCannotLeaveLoaderText, MB_OK, endCode);
    } else {
        Conclude(kNoLinkText, MB_ICONSTOP, endCode);
    }
}

void CUpdateDlg::Conclude(const std::string& text, UINT type, int endCode) {
    if (m_bConcluded) {
        return;
    }
    m_bConcluded = true;
    AfxMessageBox(text, type);
    if (endCode == IDOK) {
        OnOK();
    } else {
        EndDialog(endCode);
    }
}

void CUpdateDlg::SendTxFrame() {
    const PaceTime now = MonotonicNow();
    const OwnEcho::Answer answer = AnswerMayEqualRequest(OutstandingRequest())
                                       ? OwnEcho::Answer::MayEqualRequest
                                       : OwnEcho::Answer::AlwaysDiffers;
    if (m_echo.Send(*m_pSerial, m_txFrame, answer) != 0) {
        GiveUpLink();
        return;
    }
    ++m_nTxSends;
    m_pacer.Sent(now, true);
    if (m_txFrame[kFrameCommandIndex] == CMD_INFO) {
        m_infoFilter.Sent();
    }
}

void CUpdateDlg::StartAwaiting(bool previousWasLoader) {
    m_loaderMatcher.NextRequest(previousWasLoader, m_nTxSends);
    const LONG baudRate = m_pSerial->GetBaudRate();
    m_pacer.NextRequest(
        RepeatInterval(OutstandingRequest(), baudRate > 0 ? static_cast<std::uint32_t>(baudRate) : 0));
    m_nTxSends = 0;
    m_tAwaitingSince = MonotonicNow();
}

std::span<const std::uint8_t> CUpdateDlg::OutstandingRequest() const {
    return std::span<const std::uint8_t>(m_txFrame).first(
        static_cast<std::size_t>(kFrameHeaderSize + m_txFrame[kFrameLengthIndex]));
}

void CUpdateDlg::RepeatWhenDue() {
    if (!PacedNow(m_pacer.WaitBeforeRepeat(MonotonicNow()))) {
        return;
    }
    CurrentSession().OnRequestRepeated();
    FallBackToDefaultPace(kRepeatSlowsText);
    SendTxFrame();
}

bool CUpdateDlg::PacedNow(PaceTime wait) {
    // Timers count whole milliseconds. The pace timer is set for the whole
    // ones and the fraction left when it fires is slept off, so that the
    // rounding does not add up to a second over an update's 700 frames.
    const auto wholeMs = std::chrono::floor<std::chrono::milliseconds>(wait);
    if (wholeMs.count() > 0) {
        m_nPaceTimer = SetTimer(m_nPaceTimer, static_cast<UINT>(wholeMs.count()));
        return false;
    }
    if (wait > PaceTime::zero()) {
        std::this_thread::sleep_for(wait);
    }
    return true;
}

void CUpdateDlg::OnReceiveGap() {
    const std::size_t checksumFailures = m_rx.ChecksumFailures();
    ReceiveReplies(ReceiveCause::GapElapsed, *m_pSerial, m_rx, m_echo, ReplyHandler(), *this,
                   m_nRxTimer);
    AfterReceiving(checksumFailures);
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
