#include "read_timeouts.h"

std::optional<PortTime> ReadDeadline(const COMMTIMEOUTS& t, DWORD length, PortTime now) {
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0) {
        return now;  // take what is there and return
    }
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
        return now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    }
    const std::uint64_t total =
        std::uint64_t{t.ReadTotalTimeoutMultiplier} * length + t.ReadTotalTimeoutConstant;
    if (total == 0) {
        return std::nullopt;
    }
    return now + std::chrono::milliseconds(total);
}

std::optional<PortTime> IntervalDeadline(const COMMTIMEOUTS& t, std::size_t queued,
                                         PortTime lastArrival) {
    if (queued == 0 || t.ReadIntervalTimeout == 0 || t.ReadIntervalTimeout == MAXDWORD) {
        return std::nullopt;
    }
    return lastArrival + std::chrono::milliseconds(t.ReadIntervalTimeout);
}

bool ReadMayFinish(const COMMTIMEOUTS& t, const PendingReadState& read, std::size_t queued,
                   PortTime lastArrival, PortTime now) {
    if (queued >= read.length) {
        return true;
    }
    // "Return at the first byte, or after the constant time" mode.
    if (queued != 0 && t.ReadIntervalTimeout == MAXDWORD &&
        t.ReadTotalTimeoutMultiplier == MAXDWORD) {
        return true;
    }
    if (read.deadline && now >= *read.deadline) {
        return true;
    }
    const auto interval = IntervalDeadline(t, queued, lastArrival);
    return interval && now >= *interval;
}

bool AreRefusedTimeouts(const COMMTIMEOUTS& timeouts) {
    return timeouts.ReadIntervalTimeout == MAXDWORD &&
           timeouts.ReadTotalTimeoutConstant == MAXDWORD &&
           timeouts.ReadTotalTimeoutMultiplier == MAXDWORD;
}
