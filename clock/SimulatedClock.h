// Simulated time for a run of the whole program in one thread, in order
// fixed by what was scheduled and a seed, and in as little real time as the
// work itself takes.
//
// Every source of time and of events sits on one queue ordered by time:
// window timers and posted messages (the user-interface lane) and the line,
// the port's driver, its listener and the instrument (the system lane). An
// event scheduled for a time that has come runs after every event already
// queued for that time, so a posted message is handled after what was
// queued before it. Time moves only from one event to the next; nothing
// ever runs before its time.
//
// A blocking wait of the user-interface thread (a write that waits for the
// line, a wait for an event object) runs the system lane alone: meanwhile
// bytes cross the line and the listener posts its notifications, which wait
// in the user-interface lane until the thread takes messages again, as they
// would on a real machine.
//
// Single-threaded: everything is called from the thread that runs the
// simulation. Installing it (Install) also makes it the clock that
// MonotonicNow reads.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "MonotonicClock.h"

class SimulatedClock final : public TimeSource {
public:
    using Duration = std::chrono::nanoseconds;
    using Event = std::function<void()>;

    enum class Lane : std::uint8_t {
        UserInterface,  // timers and posted messages of the dialogs' thread
        System,         // the line, the driver, the listener, the instrument
    };

    // An event's handle for Cancel; the default one names none.
    struct EventId {
        std::uint64_t sequence = 0;
        Lane lane = Lane::System;
        std::uint32_t slot = 0;  // where the event waits (see m_slots)
    };

    // Time starts at `start`; `seed` draws the timers' lateness.
    explicit SimulatedClock(std::uint64_t seed, MonotonicTime start = kDefaultStart);
    ~SimulatedClock() override;
    SimulatedClock(const SimulatedClock&) = delete;
    SimulatedClock& operator=(const SimulatedClock&) = delete;

    MonotonicTime Now() const override { return m_now; }
    // The dialogs' thread holds still: the system lane runs meanwhile.
    void Pause(std::chrono::nanoseconds duration) override;

    // Runs `event` at `when` (now, if that has passed) on `lane`.
    EventId At(MonotonicTime when, Lane lane, Event event);
    EventId After(Duration delay, Lane lane, Event event) {
        return At(m_now + delay, lane, std::move(event));
    }
    // Drops a queued event; false when it has run or was dropped already.
    bool Cancel(const EventId& id);

    // Moves time to the earliest queued event of either lane and runs it;
    // false when nothing is queued.
    bool RunNext();
    // A blocking wait of the user-interface thread: runs system events in
    // time order until `done` holds or time reaches `deadline` (none: no
    // limit), and returns `done`. Time stands at the deadline when it was
    // reached, else at the event that made `done` true.
    bool RunSystemUntil(const std::function<bool()>& done, const MonotonicTime* deadline);

    // Events queued on `lane`.
    std::size_t Queued(Lane lane) const { return LaneOf(lane).live; }

    // How late a window timer fires on this machine: up to `most`, drawn
    // evenly from the seed, none by default.
    void SetTimerLateness(Duration most) { m_mostLateness = most; }
    Duration DrawTimerLateness();

    // Makes this the simulated world in force and the clock MonotonicNow
    // reads; the destructor takes it out again.
    void Install();
    // The simulated world in force, or null in a real run.
    static SimulatedClock* Installed();

    static constexpr MonotonicTime kDefaultStart = MonotonicTime{} + std::chrono::hours(1);

private:
    // A lane is a heap of what waits on it, earliest on top. A run queues and
    // cancels tens of thousands of events (a port reschedules its wake-up
    // after nearly every call), so a cancelled event is only marked, in its
    // slot, and its entry dropped when it comes to the top: no allocation
    // per event, and no search.
    struct Entry {
        MonotonicTime when;
        std::uint64_t sequence;
        std::uint32_t slot;
    };
    struct Queue {
        std::vector<Entry> heap;
        std::size_t live = 0;  // entries whose event is still queued
    };
    // The order of the heaps: true when `a` runs after `b` (by time, then
    // in the order queued).
    static bool RunsLater(const Entry& a, const Entry& b);
    // An event waiting to run; a sequence of 0 marks a free slot.
    struct Slot {
        std::uint64_t sequence = 0;
        Event event;
    };

    Queue& LaneOf(Lane lane) { return lane == Lane::System ? m_system : m_userInterface; }
    const Queue& LaneOf(Lane lane) const {
        return lane == Lane::System ? m_system : m_userInterface;
    }
    // The earliest event still queued on `queue`, or null; drops the
    // cancelled ones above it.
    const Entry* Front(Queue& queue);
    // Takes the front event of `queue` (there is one), moves time to it and runs it.
    void RunFront(Queue& queue);
    void FreeSlot(std::uint32_t slot);

    MonotonicTime m_now;
    std::uint64_t m_nextSequence = 1;
    Queue m_userInterface;
    Queue m_system;
    std::vector<Slot> m_slots;
    std::vector<std::uint32_t> m_freeSlots;
    std::mt19937_64 m_dice;
    Duration m_mostLateness{0};
};
