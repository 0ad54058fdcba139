#include "SimulatedClock.h"

#include <algorithm>

namespace {

SimulatedClock* installedWorld = nullptr;

}  // namespace

SimulatedClock::SimulatedClock(std::uint64_t seed, MonotonicTime start)
    : m_now(start), m_dice(seed) {}

SimulatedClock::~SimulatedClock() {
    if (installedWorld == this) {
        installedWorld = nullptr;
        InstallTimeSource(nullptr);
    }
}

SimulatedClock::EventId SimulatedClock::At(MonotonicTime when, Lane lane, Event event) {
    const EventId id{std::max(when, m_now), m_nextSequence++, lane};
    LaneOf(lane).emplace(Key(id.when, id.sequence), std::move(event));
    return id;
}

bool SimulatedClock::Cancel(const EventId& id) {
    return LaneOf(id.lane).erase(Key(id.when, id.sequence)) != 0;
}

void SimulatedClock::RunFront(Queue& queue) {
    const auto front = queue.begin();
    // An event whose time passed while the user-interface thread was held
    // in a wait runs late, as it would on a real machine; time never goes back.
    m_now = std::max(m_now, front->first.first);
    // Taken off the queue first: the event may schedule, cancel and run
    // others (a nested loop) before it returns.
    const Event event = std::move(front->second);
    queue.erase(front);
    event();
}

bool SimulatedClock::RunNext() {
    if (m_system.empty() && m_userInterface.empty()) {
        return false;
    }
    if (m_userInterface.empty()) {
        RunFront(m_system);
    } else if (m_system.empty()) {
        RunFront(m_userInterface);
    } else {
        // The same instant on both lanes: the one queued first runs first.
        RunFront(m_system.begin()->first < m_userInterface.begin()->first ? m_system
                                                                          : m_userInterface);
    }
    return true;
}

bool SimulatedClock::RunSystemUntil(const std::function<bool()>& done,
                                    const MonotonicTime* deadline) {
    while (!done()) {
        if (m_system.empty() || (deadline != nullptr && m_system.begin()->first.first > *deadline)) {
            if (deadline != nullptr) {
                m_now = std::max(m_now, *deadline);
            }
            return done();
        }
        RunFront(m_system);
    }
    return true;
}

void SimulatedClock::Pause(std::chrono::nanoseconds duration) {
    const MonotonicTime until = m_now + duration;
    RunSystemUntil([] { return false; }, &until);
}

SimulatedClock::Duration SimulatedClock::DrawTimerLateness() {
    if (m_mostLateness <= Duration::zero()) {
        return Duration::zero();
    }
    std::uniform_int_distribution<Duration::rep> late(0, m_mostLateness.count());
    return Duration(late(m_dice));
}

void SimulatedClock::Install() {
    installedWorld = this;
    InstallTimeSource(this);
}

SimulatedClock* SimulatedClock::Installed() {
    return installedWorld;
}
