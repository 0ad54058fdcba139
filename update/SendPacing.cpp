#include "SendPacing.h"

#include <algorithm>

#include "MonotonicClock.h"

PaceTime PaceNow() {
    return std::chrono::duration_cast<PaceTime>(MonotonicNow().time_since_epoch());
}

void SendPacer::Sent(const FrameTimes& times, bool request) {
    m_anySent = true;
    m_lastDue = times.due;
    m_lastStarted = times.started;
    if (request) {
        if (m_requestSends == 0) {
            m_firstRequestLeft = times.left;
        }
        m_anyRequestSent = true;
        m_requestDue = times.due;
        m_requestLeft = times.left;
        ++m_requestSends;
    }
}

void SendPacer::ReplyTaken(PaceTime now) {
    m_answered = true;
    // A request sent once draws one reply, which the line may double right
    // behind it. Each further send may draw one more, as late after it as
    // this line has just shown it answers (counted from the first send: the
    // reply taken may be its answer), and no earlier than its repeat
    // interval allows: a line slower than the repeat interval would
    // otherwise have its second reply taken for the next request's.
    const PaceTime answeredAfter = now - m_firstRequestLeft;
    ExpectCopiesUntil(m_requestSends == 1
                          ? now + kDoubledCopyLag
                          : m_requestLeft + std::max(m_repeatInterval, answeredAfter) +
                                kDoubledCopyLag);
}

void SendPacer::NextRequest(PaceTime repeatInterval, std::uint8_t command,
                            std::uint32_t baudRate) {
    const bool givenUp = !m_answered && m_requestSends > 0;
    if (givenUp) {
        // Its replies may still come.
        ExpectCopiesUntil(GivenUpCopiesUntil());
    }
    // A request of the same command after one given up asks the same
    // question again: the reply finally taken may answer any of their sends,
    // so the line's lateness is counted from the first of them.
    if (!givenUp || command != m_command) {
        m_requestSends = 0;
    }
    m_answered = false;
    m_repeatInterval = repeatInterval;
    m_command = command;
    m_baudRate = baudRate;
}

PaceTime SendPacer::GivenUpCopiesUntil() const {
    return m_requestLeft + m_repeatInterval + kDoubledCopyLag;
}

void SendPacer::ExpectCopiesUntil(PaceTime until) {
    const auto [entry, added] = m_copiesUntil.try_emplace({m_command, m_baudRate}, until);
    if (!added) {
        entry->second = std::max(entry->second, until);
    }
}

PaceTime SendPacer::CopiesUntil(std::uint8_t command, std::uint32_t baudRate) const {
    const auto found = m_copiesUntil.find({command, baudRate});
    return found == m_copiesUntil.end() ? PaceTime::min() : found->second;
}

PaceTime SendPacer::RepeatDue() const {
    // The reply can only be on the way once the request's bytes have left.
    return m_requestLeft + m_repeatInterval;
}

bool SendPacer::CopyMayArrive(PaceTime now, std::uint8_t command, std::uint32_t baudRate) const {
    return now < CopiesUntil(command, baudRate);
}

PaceTime SendPacer::AfterCopies(PaceTime exchange, std::uint8_t command,
                                std::uint32_t baudRate) const {
    PaceTime copiesUntil = CopiesUntil(command, baudRate);
    if (!m_answered && m_requestSends > 0 && command == m_command && baudRate == m_baudRate) {
        // The outstanding request, about to be given up for this one.
        copiesUntil = std::max(copiesUntil, GivenUpCopiesUntil());
    }
    return copiesUntil == PaceTime::min() ? copiesUntil : copiesUntil - exchange;
}

PaceTime SendPacer::NextDue(PaceTime readyAt, bool passInProgress) const {
    if (!m_anySent || (IsFast() && passInProgress)) {
        return readyAt;
    }
    return std::max(readyAt, SpacedAfterLast());
}

PaceTime SendPacer::WaitBeforeKeepAlive(PaceTime now) const {
    if (!m_anySent) {
        return PaceTime::zero();
    }
    PaceTime earliest = m_lastStarted + kMinimumSendGap;
    if (m_anyRequestSent) {
        earliest = std::max(earliest, m_requestDue + kDefaultSendSpacing);
    }
    return std::max(PaceTime::zero(), earliest - now);
}

PaceTime SendPacer::SpacedAfterLast() const {
    if (!m_anySent) {
        return PaceTime::min();
    }
    return std::max(m_lastDue + kDefaultSendSpacing, m_lastStarted + kMinimumSendGap);
}

bool SendPacer::FallBack() {
    if (!IsFast()) {
        return false;
    }
    m_pacing = Pacing::Default;
    return true;
}
