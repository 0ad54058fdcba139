// The instrument's side of the line, whatever carries the line: the wire
// with its faults and pacing, the request reader, the instrument with its
// flash, the transcript and the frame-count faults (fall silent, stall,
// hang up). It takes the updater's bytes with their times and hands back
// the bytes due for the updater with theirs, and says when it next has
// something to do; it never waits or reads a clock itself. The pty
// simulator (Simulator.h) and the far end of a simulated port
// (SimulatedInstrumentPort.h) both drive it.
#pragma once

#include "Flash.h"
#include "Instrument.h"
#include "RequestReader.h"
#include "SimOptions.h"
#include "Transcript.h"
#include "Wire.h"
#include "winapi_simulated_port.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

// One byte on the line, the time its stop bit ends and the rate it went out
// at: the same record as a simulated port's line carries, so that the far
// end of such a port hands bytes over as they are.
using LineByte = TimedByte;

class InstrumentEnd {
public:
    // `start` is time 0 of the transcript.
    InstrumentEnd(const SimOptions& options, SimTime start);

    // Sets up flash, instrument and transcript; false with `error` filled
    // when any of it fails.
    bool Start(std::string& error);

    // Bytes the updater wrote, taken off the line at `now` while it ran at
    // `lineRate` baud; the wire gives them their wire time when it paces.
    void Receive(std::span<const std::uint8_t> bytes, std::uint32_t lineRate, SimTime now);
    // Bytes that carry their own arrival times already (a line that paced
    // them), sent at `lineRate` baud.
    void ReceiveTimed(std::span<const LineByte> bytes, std::uint32_t lineRate);
    // Acts on every byte that has arrived by `now`; false once the
    // instrument has hung up the line (the caller closes it).
    bool HandleArrived(SimTime now);
    // Appends to `out` the bytes for the updater whose time has come by
    // `until`, each with the time it reaches the updater, as an updater
    // listening at `lineRate` baud receives them; with 0, each as it was
    // sent, for the receiver to judge its rate when it arrives (Misheard).
    void TakeDue(SimTime until, std::uint32_t lineRate, std::vector<LineByte>& out);
    // What an updater listening at another rate than the byte's makes of it.
    std::optional<std::uint8_t> Misheard(std::uint8_t value) { return m_wire.Misheard(value); }

    // When something next falls due: a byte arrives, or leaves for the updater.
    std::optional<SimTime> NextEvent() const;
    // True while bytes for the updater wait for their time.
    bool HasOutgoing() const { return m_wire.HasOutgoing() || !m_held.empty(); }
    // True once reading has stopped (the stall fault): the line fills up.
    bool Stalled() const { return m_stalled; }
    // The running program's rate, in baud.
    std::uint32_t Rate() const { return m_instrument->Rate(); }

    const Flash& FlashMemory() const { return m_flash; }
    const Instrument& Device() const { return *m_instrument; }

private:
    bool HandleFrame(const CutFrame& frame, SimTime arrivedAt);
    // Sends the answer's reply, its first byte no earlier than `notBefore`.
    void Reply(const ProgramAnswer& answer, std::uint32_t rate, const char* program,
               SimTime notBefore);
    // When a byte due at `due` reaches the updater: at once, or with the
    // burst it falls in when the adapter passes bytes on in bursts.
    SimTime ReleaseTime(SimTime due);
    void Hold(std::uint8_t value, SimTime due, std::uint32_t rate);

    SimOptions m_options;
    Flash m_flash;
    std::unique_ptr<Instrument> m_instrument;
    Wire m_wire;
    RequestReader m_reader;
    Transcript m_transcript;
    Fifo<LineByte> m_held;  // due for the updater, waiting for their burst
    SimTime m_burstAt;            // when the adapter's current burst leaves
    long m_framesReceived = 0;
    bool m_stalled = false;
    SimTime m_programReadyAt;  // the running program hears nothing before this (starting up)
};

}  // namespace sim
