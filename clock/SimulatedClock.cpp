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

bool SimulatedClock::RunsLater(const Entry& a, const Entry& b) {
    return a.when != b.when ? a.when > b.when : a.sequence > b.sequence;
}

SimulatedClock::EventId SimulatedClock::At(MonotonicTime when, Lane lane, Event event) {
    const MonotonicTime at = std::max(when, m_now);
    const std::uint64_t sequence = m_nextSequence++;
    std::uint32_t slot = 0;
    if (m_freeSlots.empty()) {
        slot = static_cast<std::uint32_t>(m_slots.size());
        m_slots.emplace_back();
    } else {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
    }
    m_slots[slot] = {sequence, std::move(event)};
    Queue& queue = LaneOf(lane);
    queue.heap.push_back({at, sequence, slot});
    std::push_heap(queue.heap.begin(), queue.heap.end(), RunsLater);
    ++queue.live;
    return {sequence, lane, slot};
}

bool SimulatedClock::Cancel(const EventId& id) {
    if (id.sequence == 0 || id.slot >= m_slots.size() ||
        m_slots[id.slot].sequence != id.sequence) {
        return false;
    }
    FreeSlot(id.slot);
    --LaneOf(id.lane).live;
    return true;
}

void SimulatedClock::FreeSlot(std::uint32_t slot) {
    m_slots[slot].sequence = 0;
    m_slots[slot].event = nullptr;
    m_freeSlots.push_back(slot);
}

const SimulatedClock::Entry* SimulatedClock::Front(Queue& queue) {
    while (!queue.heap.empty()) {
        const Entry& top = queue.heap.front();
        if (m_slots[top.slot].sequence == top.sequence) {
            return &top;
        }
        std::pop_heap(queue.heap.begin(), queue.heap.end(), RunsLater);
        queue.heap.pop_back();
    }
    return nullptr;
}

void SimulatedClock::RunFront(Queue& queue) {
    const Entry front = *Front(queue);
    std::pop_heap(queue.heap.begin(), queue.heap.end(), RunsLater);
    queue.heap.pop_back();
    // An event whose time passed while the user-interface thread was held
    // in a wait runs late, as it would on a real machine; time never goes back.
    m_now = std::max(m_now, front.when);
    // Taken off the queue first: the event may schedule, cancel and run
    // others (a nested loop) before it returns.
    const Event event = std::move(m_slots[front.slot].event);
    FreeSlot(front.slot);
    --queue.live;
    event();
}

bool SimulatedClock::RunNext() {
    const Entry* system = Front(m_system);
    const Entry* userInterface = Front(m_userInterface);
    if (system == nullptr && userInterface == nullptr) {
        return false;
    }
    // The same instant on both lanes: the one queued first runs first.
    const bool systemFirst =
        userInterface == nullptr || (system != nullptr && RunsLater(*userInterface, *system));
    RunFront(systemFirst ? m_system : m_userInterface);
    return true;
}

bool SimulatedClock::RunSystemUntil(const std::function<bool()>& done,
                                    const MonotonicTime* deadline) {
    while (!done()) {
        const Entry* front = Front(m_system);
        if (front == nullptr || (deadline != nullptr && front->when > *deadline)) {
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
