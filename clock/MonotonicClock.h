// The program's one clock for elapsed time: pacing, echo windows, the
// session log's offsets and the console program's run time all read it.
// It is the system's steady clock, unless a simulated run of the whole
// program has put its own time in its place (SimulatedClock.h); the window
// timers of a simulated run fire from that same time.
#pragma once

#include <chrono>

using MonotonicTime = std::chrono::steady_clock::time_point;

// The time now: the installed source's, or the system's steady clock.
MonotonicTime MonotonicNow();

// Holds the calling thread for `duration` (a fraction of a timer's
// resolution; longer waits belong to timers): the system's sleep, or in a
// simulated run that much of the world's time, the line going on meanwhile.
void PauseFor(std::chrono::nanoseconds duration);

// A time other than the system's.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual MonotonicTime Now() const = 0;
    virtual void Pause(std::chrono::nanoseconds duration) = 0;
};

// Makes `source` (not owned; it must outlive its installation) the clock
// that MonotonicNow reads; null puts the system's steady clock back. Set it
// before anything reads the clock, from the thread that runs everything.
void InstallTimeSource(TimeSource* source);
