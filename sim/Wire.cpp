#include "Wire.h"

#include <algorithm>

namespace sim {
namespace {

constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

}  // namespace

SimClock::duration ByteTime(std::uint32_t baud) {
    if (baud == 0) {
        return SimClock::duration::zero();
    }
    return std::chrono::duration_cast<SimClock::duration>(
        std::chrono::nanoseconds(kBitsPerByte * 1'000'000'000LL / baud));
}

Wire::Wire(const WireFaults& faults, std::uint64_t seed) : m_faults(faults), m_dice(seed) {}

double Wire::Draw() {
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_dice);
}

SimTime Wire::Finish(SimTime start, std::uint32_t rate, SimTime& lastOnWire) const {
    if (!m_faults.pace) {
        return start;
    }
    lastOnWire = std::max(start, lastOnWire) + ByteTime(rate);
    return lastOnWire;
}

void Wire::Receive(std::span<const std::uint8_t> bytes, std::uint32_t lineRate, SimTime now) {
    for (const std::uint8_t value : bytes) {
        m_incoming.push_back({value, false, lineRate, Finish(now, lineRate, m_lastIncoming)});
    }
}

void Wire::ReceiveAt(std::uint8_t value, std::uint32_t lineRate, SimTime at) {
    m_incoming.push_back({value, false, lineRate, at});
    m_lastIncoming = std::max(m_lastIncoming, at);
}

std::optional<ArrivedByte> Wire::NextArrived(SimTime now, std::uint32_t instrumentRate) {
    while (!m_incoming.empty() && m_incoming.front().due <= now) {
        const Byte byte = m_incoming.front();
        m_incoming.pop_front();
        if (const auto value =
                Deliver(byte.value, byte.rate, instrumentRate, m_faults.flipIn, m_faults.dropIn)) {
            return ArrivedByte{*value, byte.due};
        }
    }
    return std::nullopt;
}

void Wire::Send(std::span<const std::uint8_t> frame, std::uint32_t rate, SimTime notBefore,
                std::function<void(SimTime)> onStart) {
    // A frame never overtakes the one before it, paced or not.
    const SimTime start =
        std::max(notBefore, m_outgoing.empty() ? notBefore : m_outgoing.back().due);
    if (frame.empty()) {
        return;
    }
    for (const std::uint8_t value : frame) {
        m_outgoing.push_back({value, false, rate, Finish(start, rate, m_lastOutgoing)});
    }
    m_outgoing[m_outgoing.size() - frame.size()].startsFrame = true;
    m_frameStarts.push_back(std::move(onStart));
}

std::optional<SimTime> Wire::NextEvent() const {
    std::optional<SimTime> next;
    for (const auto* queue : {&m_incoming, &m_outgoing}) {
        if (!queue->empty() && (!next || queue->front().due < *next)) {
            next = queue->front().due;
        }
    }
    return next;
}

std::optional<std::uint8_t> Wire::Misheard(std::uint8_t) {
    // A UART at the wrong rate sees framing errors and garbage, if anything.
    if (m_faults.noise == NoiseMode::Drop) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(m_dice));
}

std::optional<std::uint8_t> Wire::DeliverFaulted(std::uint8_t value, std::uint32_t sentRate,
                                                 std::uint32_t listenRate, double flip,
                                                 double drop) {
    if (sentRate != listenRate) {
        return Misheard(value);
    }
    if (Chance(drop)) {
        return std::nullopt;
    }
    if (Chance(flip)) {
        const int bit = std::uniform_int_distribution<int>(0, 7)(m_dice);
        value = static_cast<std::uint8_t>(value ^ (1U << bit));
    }
    return value;
}

}  // namespace sim
