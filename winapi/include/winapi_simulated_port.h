// Ports of a simulated world, on Linux only: while a SimulatedClock is
// installed, opening a port name registered here gives a port whose driver
// is events on that clock's system lane instead of a tty and a thread. It
// keeps the communications services' documented behaviour (winapi_comm.h)
// and the line's pace: a byte the program writes takes its wire time (10
// bit times at the port's rate) and reaches the far end at the end of its
// stop bit; a byte from the far end is readable only from the time it
// arrives. The far end is whatever the simulation puts there (the simulated
// instrument); this layer knows it only through SimulatedFarEnd.
//
// Single-threaded, like the world itself: everything is called from the
// thread that runs the simulation.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "MonotonicClock.h"
#include "winapi_types.h"

// One byte on the line and the time its stop bit ends.
struct TimedByte {
    BYTE value = 0;
    MonotonicTime at{};
    // The rate it went out at, in bits per second; 0: whatever the receiver
    // listens at. A port listening at another rate when the byte arrives
    // hears what the far end says it would (SimulatedFarEnd::Misheard).
    DWORD baud = 0;
};

// The other end of a simulated line.
class SimulatedFarEnd {
public:
    virtual ~SimulatedFarEnd() = default;
    // Bytes the program sent, in order, each with the time it arrived (never
    // after now), sent at `baud` bits per second.
    virtual void Receive(std::span<const TimedByte> bytes, DWORD baud) = 0;
    // True while the far end takes no bytes: the program's writes wait (and
    // run into their time-outs) as on a line held by flow control.
    virtual bool Stalled() const { return false; }
    // What the port, listening at another rate than `value` was sent at,
    // makes of it: garbage, or nothing (a framing error, as by default).
    virtual std::optional<BYTE> Misheard(BYTE /*value*/) { return std::nullopt; }
};

// Faults of the port itself, not of what is at its far end.
struct SimulatedPortFaults {
    // Waiting whenever the port opens (an adapter that kept what came while
    // no one listened): in the input queue, but for what an adapter with a
    // latency timer still holds (latencyTimerMs).
    std::vector<BYTE> staleInput;
    // How long every write waits before its first byte leaves, in
    // nanoseconds (an adapter's driver that is slow to take a write).
    std::int64_t writeLatencyNs = 0;
    // The driver hears of arriving bytes in pieces of at most this many
    // (and at the end of every burst): 14 for a UART's receive FIFO, 62
    // for a USB adapter's packet.
    std::size_t receivePieceBytes = 14;
    // A USB adapter's latency timer, in milliseconds: the adapter hears each
    // byte at the rate the port listens at when the byte arrives, and holds
    // what it heard until the timer, started by the first byte it holds, runs
    // out or a USB packet's worth (62 bytes) has gathered; only then does the
    // driver have the bytes. Bytes heard before a rate change thus reach the
    // program after it, intact. 0: the driver has each byte at its arrival.
    std::int64_t latencyTimerMs = 0;
};

// The line between a registered port and its far end, as the far end sees it.
class SimulatedLine {
public:
    virtual ~SimulatedLine() = default;
    // Bytes towards the program, in order, each with the time its stop bit
    // ends (none before now). Bytes that arrive while the port is closed are
    // lost, as on a real line.
    virtual void Send(std::span<const TimedByte> bytes) = 0;
    // The rate the open port listens at, in bits per second; 0 while closed.
    virtual DWORD ListeningRate() const = 0;
    // The cable is pulled: the open port fails its pending and later
    // operations with ERROR_GEN_FAILURE, and a later open finds no port
    // (ERROR_FILE_NOT_FOUND), as when an adapter is unplugged.
    virtual void Pull() = 0;
};

// Registers "\\.\COMn" (or "COMn"; case does not matter) with `farEnd`
// (not owned; it must outlive the registration). The line returned stays
// valid until the registration is removed. A name registered again replaces
// the far end.
SimulatedLine& RegisterSimulatedPort(const std::string& name, SimulatedFarEnd& farEnd,
                                     const SimulatedPortFaults& faults = {});
// Removes the registration; a port still open on it is closed for good (its
// operations fail with ERROR_INVALID_HANDLE from then on).
void UnregisterSimulatedPort(const std::string& name);
