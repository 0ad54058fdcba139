#include "SendPacing.h"

#include <algorithm>

#include "MonotonicClock.h"

PaceTime PaceNow() {
    return std::chrono::duration_cast<PaceTime>(MonotonicNow().time_since_epoch());
}

void SendPacer::Sent(PaceTime now, bool request) {
    m_anySent = true;
    m_lastSent = now;
    if (request) {
        m_anyRequestSent = true;
        m_requestSent = now;
    }
}

void SendPacer::NextRequest(PaceTime repeatInterval) {
    if (m_anyRequestSent) {
        m_copiesUntil = m_requestSent + m_repeatInterval + kDoubledCopyLag;
    }
    m_repeatInterval = repeatInterval;
}

PaceTime SendPacer::WaitBeforeRepeat(PaceTime now) const {
    return std::max(PaceTime::zero(), m_requestSent + m_repeatInterval - now);
}

bool SendPacer::CopyMayArrive(PaceTime now) const {
    return now < m_copiesUntil;
}

PaceTime SendPacer::WaitBeforeNext(PaceTime now, bool passInProgress) const {
    if (!m_anySent || (IsFast() && passInProgress)) {
        return PaceTime::zero();
    }
    return std::max(PaceTime::zero(), m_lastSent + kDefaultSendSpacing - now);
}

PaceTime SendPacer::WaitBeforeKeepAlive(PaceTime now) const {
    if (!m_anyRequestSent) {
        return PaceTime::zero();
    }
    return std::max(PaceTime::zero(), m_requestSent + kDefaultSendSpacing - now);
}

bool SendPacer::FallBack() {
    if (!IsFast()) {
        return false;
    }
    m_pacing = Pacing::Default;
    return true;
}
