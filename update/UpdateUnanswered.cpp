// Requests that go unanswered although the line works, and what they reveal:
//
//  - information requests that no one answers while the instrument still
//    answers identify requests: its bootloader holds it (an update cut short
//    leaves it there), and the firmware in it is unknown. The status tells;
//    the operator decides whether to write the update. A main program that
//    never gives a valid answer to one step (an older one without it, or a
//    reply that always fails its checksum) is asked a bounded number of
//    times, then the run ends as on a silent line.
//  - the switch into the bootloader whose acknowledgement never comes: the
//    acknowledgement may have been lost on the line after the bootloader
//    started. The status is asked at the bootloader's rate and, while
//    unanswered, at the main program's, in turn; whichever program answers
//    carries the entry on as its status always does, except that a main
//    program found after a lost switch spends no try: it has not refused
//    the switch. Lost switches have a countdown of their own (twenty).
//  - the status asked at the main program's rate after the switch back: the
//    main program may be slow to start, or the switch may have been lost on
//    the line and the bootloader still runs at its own rate. The status is
//    asked at the main program's rate and the bootloader's in turn, so that
//    a main program starting late within the watchdog's time is still
//    heard; a bootloader that answers is sent the switch again, within the
//    countdown of tries. Only for an instrument found in its bootloader is
//    the main program's rate unknown: then every rate of the search is
//    asked in turn.
#include <algorithm>
#include <chrono>
#include <vector>

#include "CommandSet.h"
#include "MessageBox.h"
#include "SearchBaudRates.h"
#include "SerialCWnd.h"
#include "UpdateDlg.h"
#include "UpdateMessages.h"

namespace {

// Statuses that may find the main program after unanswered information: ten
// times 500 ms unanswered is what the watchdog allows a silent line.
constexpr std::uint8_t kInfoDetours = 10;

constexpr const char* kUnknownFirmwareLine = "Микропрограмма в приборе неизвестна";
constexpr const char* kWriteIntoLoaderQuestion =
    "Зирон-7 находится в загрузчике, микропрограмма в приборе неизвестна.\n"
    "Записать обновление?";

}  // namespace

PaceTime CUpdateDlg::UnansweredWait() const {
    const PaceTime turn = std::chrono::milliseconds(kUnansweredMs);
    const std::size_t rates = StatusRates().size();
    if (rates == 0) {
        return turn;
    }
    // Each turn through the rates waits one period longer at each: an
    // instrument that answers later than a period is heard at its own rate
    // once a turn outlasts its lateness, instead of always just after the
    // port has moved on. A status is waited for at once as long as the
    // last one came late, and a period more. The watchdog still ends a
    // silent line.
    const PaceTime byTurns = turn * static_cast<long>(1 + m_nUnansweredRates / rates);
    return m_nAwaitedCmd == CMD_STATUS ? std::max(byTurns, m_tStatusLateness + turn) : byTurns;
}

std::vector<std::int32_t> CUpdateDlg::StatusRates() const {
    if (m_nPhase == PHASE_ENTER) {
        return {m_nDeviceBaud, kBootloaderBaud};
    }
    if (m_nPhase != PHASE_LEAVE) {
        return {};
    }
    // The main program's rate first, then the bootloader's, then (its rate
    // unknown) the others at which the search finds instruments.
    std::vector<std::int32_t> rates = {m_nDeviceBaud, kBootloaderBaud};
    if (m_bFoundInLoader) {
        for (const std::int32_t rate : SearchBaudRates) {
            if (std::find(rates.begin(), rates.end(), rate) == rates.end()) {
                rates.push_back(rate);
            }
        }
    }
    rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
    return rates;
}

bool CUpdateDlg::ReplaceUnansweredRequest(PaceTime at) {
    if (at - m_tAwaitingSince < UnansweredWait()) {
        return false;
    }
    if (m_nPhase == PHASE_INFO) {
        // Information and status take turns until one is answered; the
        // watchdog ends a silent line as before.
        m_bAskingResidentStatus = m_nAwaitedCmd == CMD_INFO;
        m_nAwaitedCmd = 0;
        m_bNextFollowsReply = false;
        if (m_bAskingResidentStatus) {
            QueueStatusRequest();
        } else {
            QueueInfoRequest();
        }
        return true;
    }
    if (m_nPhase == PHASE_ENTER && (m_nAwaitedCmd == CMD_LOADER || m_nAwaitedCmd == CMD_STATUS)) {
        const bool switchUnanswered = m_nAwaitedCmd == CMD_LOADER;
        m_bSwitchUnanswered = m_bSwitchUnanswered || switchUnanswered;
        m_nAwaitedCmd = 0;
        m_bNextFollowsReply = false;
        ++m_nUnansweredRates;
        ConfigurePort(switchUnanswered || m_pSerial->GetBaudRate() != kBootloaderBaud
                          ? kBootloaderBaud
                          : m_nDeviceBaud);
        QueueStatusRequest();
        // As after the settle wait: the keep-alive stopped for the switch only.
        m_bKeepAlive = true;
        return true;
    }
    if (m_nPhase == PHASE_LEAVE && m_nAwaitedCmd == CMD_STATUS) {
        m_nAwaitedCmd = 0;
        m_bNextFollowsReply = false;
        ++m_nUnansweredRates;
        ConfigurePort(NextLeaveRate());
        QueueStatusRequest();
        return true;
    }
    return false;
}

void CUpdateDlg::OnResidentStatus(bool bootloaderRuns) {
    m_bAskingResidentStatus = false;
    if (!bootloaderRuns) {
        if (++m_nInfoDetours >= kInfoDetours) {
            GiveUpLink();
            return;
        }
        // The main program is there after all: ask it again.
        QueueInfoRequest();
        return;
    }
    m_bFoundInLoader = true;
    AddLogLine(kUnknownFirmwareLine);
    const int answer = AfxMessageBox(kWriteIntoLoaderQuestion, MB_YESNO);
    if (m_bConcluded) {
        return;  // the line fell silent while the operator was asked
    }
    if (answer != IDYES) {
        // The link works; the instrument stays where it is, unwritten.
        CurrentSession().OnUpdateDecided(UpdateDecision::LeaveInLoader);
        Conclude(UpdateConclusion::StaysInLoader, kStaysInLoaderText, MB_OK, IDCANCEL);
        return;
    }
    CurrentSession().OnUpdateDecided(UpdateDecision::WriteIntoLoader);
    StartEntering(false);
}

std::int32_t CUpdateDlg::NextLeaveRate() const {
    const std::vector<std::int32_t> rates = StatusRates();
    const auto current = std::find(rates.begin(), rates.end(), m_pSerial->GetBaudRate());
    if (current == rates.end() || std::next(current) == rates.end()) {
        return rates.front();
    }
    return *std::next(current);
}
