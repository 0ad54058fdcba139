// The wire between the updater and the instrument: when bytes finish
// crossing it, and what they look like when they do. It applies the line-level
// faults: pacing at the line rate, bytes at a foreign rate, bit flips and
// lost bytes in either direction.
#pragma once

#include "Fifo.h"
#include "SimOptions.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace sim {

using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;

struct WireFaults {
    double flipIn = 0;  // per byte
    double flipOut = 0;
    double dropIn = 0;
    double dropOut = 0;
    bool pace = false;  // each byte takes 10 bit times at the line rate
    NoiseMode noise = NoiseMode::Drop;
};

// One byte the instrument has received, and when its stop bit ended.
struct ArrivedByte {
    std::uint8_t value = 0;
    SimTime at;
};

// How long one byte (start bit, 8 data bits, stop bit) takes at `baud`.
SimClock::duration ByteTime(std::uint32_t baud);

class Wire {
public:
    Wire(const WireFaults& faults, std::uint64_t seed);

    // Bytes the updater wrote, read from the line at `now` while it ran at
    // `lineRate` baud.
    void Receive(std::span<const std::uint8_t> bytes, std::uint32_t lineRate, SimTime now);
    // One byte the updater wrote at `lineRate` baud whose stop bit ended at
    // `at`: a line that paced it already.
    void ReceiveAt(std::uint8_t value, std::uint32_t lineRate, SimTime at);
    // The next received byte that has crossed the wire by `now`, as an
    // instrument listening at `instrumentRate` baud understands it; none
    // when nothing more has arrived (bytes lost on the way are skipped).
    std::optional<ArrivedByte> NextArrived(SimTime now, std::uint32_t instrumentRate);

    // Queues a frame that the instrument sends at `rate` baud, starting no
    // earlier than `notBefore` and after everything queued before it.
    // `onStart` is called with the time its first byte is due.
    void Send(std::span<const std::uint8_t> frame, std::uint32_t rate, SimTime notBefore,
              std::function<void(SimTime)> onStart);
    // Hands `deliver` each byte due on the line by `now` with the time it is
    // due, as an updater listening at `lineRate` baud would receive it.
    // `sentRate`: the rate the byte went out at. A `lineRate` of 0 in
    // TakeDue leaves the rates to be judged when the byte arrives (Misheard).
    // `deliver(std::uint8_t value, SimTime due, std::uint32_t sentRate)`.
    template <typename Delivery>
    void TakeDue(SimTime now, std::uint32_t lineRate, Delivery&& deliver);

    // When the next byte arrives or falls due; none while the wire is idle.
    std::optional<SimTime> NextEvent() const;

    // True while sent bytes wait for their time on the wire.
    bool HasOutgoing() const { return !m_outgoing.empty(); }

    // What a receiver at `listenRate` makes of a byte sent at `sentRate`, a
    // rate of its own: garbage, or nothing, as the noise mode says.
    std::optional<std::uint8_t> Misheard(std::uint8_t value);

    // True with probability `p`, from the same dice as the wire's faults.
    bool Chance(double p) { return p > 0 && Draw() < p; }

private:
    struct Byte {
        std::uint8_t value = 0;
        bool startsFrame = false;  // its frame's onStart is the front of m_frameStarts
        std::uint32_t rate = 0;
        SimTime due;
    };

    // The byte as a receiver at `listenRate` sees it; none when it is lost.
    std::optional<std::uint8_t> Deliver(std::uint8_t value, std::uint32_t sentRate,
                                        std::uint32_t listenRate, double flip, double drop) {
        // Nearly every byte of a run crosses a clean wire at its own rate.
        if (sentRate == listenRate && flip <= 0 && drop <= 0) {
            return value;
        }
        return DeliverFaulted(value, sentRate, listenRate, flip, drop);
    }
    std::optional<std::uint8_t> DeliverFaulted(std::uint8_t value, std::uint32_t sentRate,
                                               std::uint32_t listenRate, double flip, double drop);
    // Evenly in [0, 1).
    double Draw();
    SimTime Finish(SimTime start, std::uint32_t rate, SimTime& lastOnWire) const;

    WireFaults m_faults;
    std::mt19937_64 m_dice;
    Fifo<Byte> m_incoming;
    Fifo<Byte> m_outgoing;
    // Kept apart from the bytes, one per frame sent: a callback in every
    // byte made the queues several times larger for one byte in a frame.
    std::deque<std::function<void(SimTime)>> m_frameStarts;
    SimTime m_lastIncoming;  // when the last received byte ends on the wire
    SimTime m_lastOutgoing;  // when the last sent byte ends on the wire
};

template <typename Delivery>
void Wire::TakeDue(SimTime now, std::uint32_t lineRate, Delivery&& deliver) {
    while (!m_outgoing.empty() && m_outgoing.front().due <= now) {
        const Byte byte = m_outgoing.front();
        m_outgoing.pop_front();
        if (byte.startsFrame) {
            const std::function<void(SimTime)> onStart = std::move(m_frameStarts.front());
            m_frameStarts.pop_front();
            if (onStart) {
                onStart(byte.due);
            }
        }
        const std::uint32_t listenRate = lineRate == 0 ? byte.rate : lineRate;
        if (const auto value =
                Deliver(byte.value, byte.rate, listenRate, m_faults.flipOut, m_faults.dropOut)) {
            deliver(*value, byte.due, byte.rate);
        }
    }
}

}  // namespace sim
