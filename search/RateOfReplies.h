// Whether a reply the search takes in now was received at the rate it asks
// at now. When the search moves to the next rate, a USB serial adapter may
// still hold bytes it received at the rate before, for up to its latency
// timer, and hands them on intact afterwards: a reply among them would be
// recorded with a rate at which nothing answers, and the update would start
// there. So a reply counts for the new rate only when it came in after a
// read of the port that began once the adapter could hold nothing from
// before (kLongestAdapterHoldMs after the rate was set); until then a reply
// may be either rate's, and only holds the rate to be asked again.
//
// The dialog owns one.
#pragma once

#include <chrono>

class RateOfReplies {
public:
    // The program's clock (MonotonicClock.h) tells its times in this one's points.
    using Clock = std::chrono::steady_clock;

    // The line runs at a new rate from `at` on (a port check or a rate
    // switch, measured once the line was configured).
    void RateSet(Clock::time_point at);
    // A read of the port that began at `at` has ended: the replies it took
    // in were handled before this call.
    void PortRead(Clock::time_point at);
    // True when what the next read takes in can only have been received at
    // the rate set last.
    bool OnlyThisRate() const { return m_onlyThisRate; }

private:
    Clock::time_point m_rateSetAt{};
    bool m_onlyThisRate = false;
};
