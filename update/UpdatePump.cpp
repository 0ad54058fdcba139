// The sending side of the update dialog: the next request as soon as the
// pace allows, the 50 ms pump with its repeats, watchdog and keep-alive, the
// two settle waits around the switches between the instrument's programs,
// and the receive gap.
#include <algorithm>
#include <chrono>
#include <optional>

#include "CommandSet.h"
#include "MessageBox.h"
#include "MonotonicClock.h"
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

std::int32_t CUpdateDlg::WatchdogTicks() const {
    // Once the status has gone unanswered on the way in or out, it is asked
    // at one rate after another: which program runs, and so at which rate it
    // hears, is unknown. The program switched to may take the watchdog's
    // time to start and may start just after its rate was asked (a lost
    // acknowledgement, a slow bootloader; a main program slow after the
    // switch back): the link is not given up before one whole turn after
    // that wait has asked it at its own rate.
    const bool ratesInTurn =
        (m_nPhase == PHASE_ENTER || m_nPhase == PHASE_LEAVE) && m_nUnansweredRates > 0;
    if (!ratesInTurn) {
        return kWatchdogTicks;
    }
    const PaceTime turn = UnansweredWait() * static_cast<long>(StatusRates().size() + 1);
    const auto turnTicks =
        static_cast<std::int32_t>(turn / std::chrono::milliseconds(kPumpPeriodMs)) + 1;
    return kWatchdogTicks + turnTicks;
}

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
    if (!m_bConcluded && ++m_nTicks > WatchdogTicks()) {
        GiveUpLink();
        if (m_nPhase == PHASE_ENTER) {
            m_nTicks = 0;  // the dialog is cancelled and the count starts afresh
        }
        // The dialog is ending: nothing more goes out, least of all a switch
        // into the bootloader that the operator has just been told failed.
        return;
    }
    if (ServeOutstandingRequest() || SendNextWhenPaced() || !m_bKeepAlive) {
        return;
    }
    const PaceTime now = PaceNow();
    if (m_pacer.WaitBeforeKeepAlive(now) > PaceTime::zero()) {
        return;  // a request went out a moment ago; the next tick keeps the link alive
    }
    m_nAwaitedCmd = CMD_IDENTIFY;
    const std::optional<SendPacer::FrameTimes> sent =
        SendFrameAt(m_keepAliveFrame, now, now, OwnEcho::Answer::AlwaysDiffers);
    if (!sent) {
        GiveUpLink();
        return;
    }
    m_pacer.Sent(*sent, false);
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
    const PaceTime now = PaceNow();
    const PaceTime repeatWait = std::max(PaceTime::zero(), m_pacer.RepeatDue() - now);
    if (ReplaceUnansweredRequest(now + std::min<PaceTime>(repeatWait, std::chrono::milliseconds(1)))) {
        return false;
    }
    RepeatWhenDue();
    return true;
}

bool CUpdateDlg::SendNextWhenPaced() {
    if (m_queue.IsEmpty() || RequestOutstanding()) {
        m_tNextDue.reset();
        return false;
    }
    const PaceTime now = PaceNow();
    if (!m_tNextDue) {
        m_tNextDue = NextFrameDue(now);
        m_tHeldForCopies = *m_tNextDue - std::max(now, m_pacer.NextDue(now, PassInProgress()));
    }
    if (!PacedNow(*m_tNextDue - now)) {
        return true;
    }
    const PaceTime due = *m_tNextDue;
    m_tNextDue.reset();
    const QueuedFrame entry = m_queue.TakeHead();
    // Queued frames are at most 253 bytes; the bound only guards the buffer
    // and the room that sealing needs behind the payload.
    const std::size_t length =
        std::min(entry.bytes.size(), sizeof m_txFrame - static_cast<std::size_t>(kFrameCrcSize));
    const std::optional<std::uint8_t> previousLoaderOperation =
        m_txFrame[kFrameCommandIndex] == CMD_LOADER
            ? std::optional(m_txFrame[kFramePayloadIndex + kLoaderOperationOffset])
            : std::nullopt;
    std::copy_n(entry.bytes.begin(), length, m_txFrame);
    m_nAwaitedCmd = entry.noReply ? 0 : m_txFrame[kFrameCommandIndex];
    StartAwaiting(previousLoaderOperation);
    if (m_bNextFollowsReply) {
        m_bNextFollowsReply = false;
        m_nTicks = 0;
    } else {
        const auto periodsHeld = m_tHeldForCopies / std::chrono::milliseconds(kPumpPeriodMs);
        m_nTicks = std::max<std::int32_t>(0, m_nTicks - static_cast<std::int32_t>(periodsHeld));
    }
    SendTxFrame(due);
    return true;
}

PaceTime CUpdateDlg::NextFrameDue(PaceTime readyAt) const {
    const PaceTime due = m_pacer.NextDue(readyAt, PassInProgress());
    const std::span<const std::uint8_t> next = m_queue.Head().bytes;
    const std::uint8_t command = next[kFrameCommandIndex];
    // A status reply names no request at all; a bootloader reply may not.
    const bool answersAlike = command == CMD_STATUS || m_loaderMatcher.MayAnswerAlike(next);
    if (m_queue.Head().noReply || !answersAlike) {
        return due;
    }
    // Its reply cannot be told from a late copy of an earlier one: it must
    // not arrive while such a copy still may.
    const std::uint32_t baudRate = ListeningRate();
    return std::max(due, m_pacer.AfterCopies(ExchangeWireTime(next, baudRate), command, baudRate));
}

std::uint32_t CUpdateDlg::ListeningRate() const {
    const LONG baudRate = m_pSerial->GetBaudRate();
    return baudRate > 0 ? static_cast<std::uint32_t>(baudRate) : 0;
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
        Conclude(UpdateConclusion::CannotEnterLoader, kCannotEnterLoaderText, MB_OK, IDCANCEL);
        return;
    }
    // Once the new firmware has passed verification the instrument works;
    // only the way back to its main program is in doubt.
    const int endCode = m_bSuccess ? IDOK : kUpdateLinkLost;
    if (m_nPhase == PHASE_LEAVE) {
        Conclude(UpdateConclusion::CannotLeaveLoader, kCannotLeaveLoaderText, MB_OK, endCode);
    } else {
        Conclude(UpdateConclusion::NoLink, kNoLinkText, MB_ICONSTOP, endCode);
    }
}

void CUpdateDlg::Conclude(UpdateConclusion conclusion, const std::string& text, UINT type,
                          int endCode) {
    if (m_bConcluded) {
        return;
    }
    m_bConcluded = true;
    CurrentSession().OnUpdateConcluded(conclusion);
    AfxMessageBox(text, type);
    if (endCode == IDOK) {
        OnOK();
    } else {
        EndDialog(endCode);
    }
}

std::optional<SendPacer::FrameTimes> CUpdateDlg::SendFrameAt(std::uint8_t* frame, PaceTime due,
                                                             PaceTime issued,
                                                             OwnEcho::Answer answer) {
    const std::uint32_t rate = ListeningRate();
    const LONG result = m_echo.Send(*m_pSerial, frame, answer);
    const PaceTime left = PaceNow();
    const std::span<const std::uint8_t> sealed(
        frame, static_cast<std::size_t>(kFrameOverhead) + frame[kFrameLengthIndex]);
    const PaceTime wire = FrameWireTime(sealed, rate);
    const SendPacer::FrameTimes times{due, std::max(issued, left - wire), left};
    if (result == 0) {
        return times;
    }
    if (result != static_cast<LONG>(ERROR_TIMEOUT)) {
        return std::nullopt;  // the device is gone
    }
    // The line did not take the frame in time: a USB adapter or a busy PC
    // can hold a write that long. It is a send lost on the way, repeated as
    // for a lost reply; as its bytes may have left until the write gave up,
    // it counts from then. The pump's ticks could not fire meanwhile: the
    // watchdog counts them, so that a line that stays stalled still ends in
    // about the watchdog's 5 s.
    const auto periodsHeld = (left - issued) / std::chrono::milliseconds(kPumpPeriodMs);
    m_nTicks += static_cast<std::int32_t>(periodsHeld);
    return times;
}

void CUpdateDlg::SendTxFrame(PaceTime due) {
    const OwnEcho::Answer answer = AnswerMayEqualRequest(OutstandingRequest())
                                       ? OwnEcho::Answer::MayEqualRequest
                                       : OwnEcho::Answer::AlwaysDiffers;
    const std::optional<SendPacer::FrameTimes> sent = SendFrameAt(m_txFrame, due, PaceNow(), answer);
    if (!sent) {
        GiveUpLink();
        return;
    }
    ++m_nTxSends;
    m_pacer.Sent(*sent, true);
    if (m_txFrame[kFrameCommandIndex] == CMD_STATUS) {
        m_statusAskedSince.try_emplace(ListeningRate(), sent->left);
    }
    if (m_txFrame[kFrameCommandIndex] == CMD_INFO) {
        m_infoFilter.Sent();
    }
}

void CUpdateDlg::StartAwaiting(std::optional<std::uint8_t> previousLoaderOperation) {
    m_loaderMatcher.NextRequest(previousLoaderOperation, m_nTxSends);
    const std::uint32_t baudRate = ListeningRate();
    m_pacer.NextRequest(RepeatInterval(OutstandingRequest(), baudRate),
                        m_txFrame[kFrameCommandIndex], baudRate);
    m_nTxSends = 0;
    m_tAwaitingSince = PaceNow();
    if (m_txFrame[kFrameCommandIndex] != CMD_STATUS) {
        m_statusAskedSince.clear();
    }
}

std::span<const std::uint8_t> CUpdateDlg::OutstandingRequest() const {
    return std::span<const std::uint8_t>(m_txFrame).first(
        static_cast<std::size_t>(kFrameHeaderSize + m_txFrame[kFrameLengthIndex]));
}

void CUpdateDlg::RepeatWhenDue() {
    const PaceTime due = m_pacer.RepeatDue();
    if (!PacedNow(due - PaceNow())) {
        return;
    }
    CurrentSession().OnRequestRepeated();
    FallBackToDefaultPace(kRepeatSlowsText);
    SendTxFrame(due);
}

bool CUpdateDlg::PacedNow(PaceTime wait) {
    // Timers count whole milliseconds. The pace timer is set for the whole
    // ones and the fraction left when it fires is slept off, so that the
    // rounding does not add up to a second over an update's 700 frames.
    const auto wholeMs = std::chrono::floor<std::chrono::milliseconds>(wait);
    if (wholeMs.count() > 0) {
        // Should the timer be refused, the next pump tick asks again.
        StartTimer(m_nPaceTimer, static_cast<UINT>(wholeMs.count()));
        return false;
    }
    if (wait > PaceTime::zero()) {
        PauseFor(wait);
    }
    return true;
}

void CUpdateDlg::OnReceiveGap() {
    const std::size_t checksumFailures = m_rx.ChecksumFailures();
    ReceiveReplies(ReceiveCause::GapElapsed, *m_pSerial, m_rx, m_echo, ReplyHandler(), *this,
                   m_nRxTimer);
    AfterReceiving(checksumFailures);
}

void CUpdateDlg::StartSettleWait(UINT_PTR& timer) {
    if (!StartTimer(timer, kSettleMs)) {
        GiveUpLink();
    }
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
