#include "RateOfReplies.h"

#include "ReplyTransit.h"

void RateOfReplies::RateSet(Clock::time_point at) {
    m_rateSetAt = at;
    m_onlyThisRate = false;
}

void RateOfReplies::PortRead(Clock::time_point at) {
    // The read took everything the adapter had passed on by `at`; anything
    // it held from before the rate change had been passed on by then.
    if (at >= m_rateSetAt + std::chrono::milliseconds(kLongestAdapterHoldMs)) {
        m_onlyThisRate = true;
    }
}
