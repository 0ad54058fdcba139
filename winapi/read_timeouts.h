// When a read on a port may finish, by the five COMMTIMEOUTS rules of Win32,
// for every kind of port alike. Times are of the clock the port runs on.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include "winapi_comm.h"

using PortTime = std::chrono::steady_clock::time_point;

// The one combination SetCommTimeouts refuses: every read time-out "forever".
bool AreRefusedTimeouts(const COMMTIMEOUTS& timeouts);

// The time at which a read of `length` bytes that starts at `now` ends
// whatever has come; none when only its byte count ends it.
std::optional<PortTime> ReadDeadline(const COMMTIMEOUTS& timeouts, DWORD length, PortTime now);

// What a pending read needs to know to tell whether it may finish.
struct PendingReadState {
    DWORD length = 0;                 // bytes asked for
    std::optional<PortTime> deadline;  // from ReadDeadline
};

// Whether the read may finish at `now` with `queued` bytes in the input
// queue, the last of which arrived at `lastArrival`.
bool ReadMayFinish(const COMMTIMEOUTS& timeouts, const PendingReadState& read, std::size_t queued,
                   PortTime lastArrival, PortTime now);

// When the gap after the last byte ends a read that has some bytes; none
// when no interval time-out applies.
std::optional<PortTime> IntervalDeadline(const COMMTIMEOUTS& timeouts, std::size_t queued,
                                         PortTime lastArrival);
