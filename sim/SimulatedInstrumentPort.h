// The simulated instrument at the far end of a port of a simulated world,
// in the same process and the same simulated time as the program that
// opens the port: the instrument's end of the line (InstrumentEnd.h) with
// every fault of SimOptions, driven by events of the world's system lane.
//
// The bytes the program writes reach it when the port's write has left the
// line, each with its own arrival time; what the instrument answers goes
// back to the port at once with each byte's arrival time, so a frame costs
// the world one event each way rather than one per byte. On this line the
// wire always paces (10 bit times a byte), whatever the options say: the
// port may not receive a byte before its time.
//
// Single-threaded, like the world. Owns the registration of its port name
// for its lifetime.
#pragma once

#include "InstrumentEnd.h"
#include "SimOptions.h"
#include "SimulatedClock.h"
#include "winapi_simulated_port.h"

#include <string>
#include <vector>

namespace sim {

class SimulatedInstrumentPort final : public SimulatedFarEnd {
public:
    // Registers `portName` ("\\.\COMn") in `world` with the instrument that
    // `options` describe and the port faults `portFaults`; Start sets the
    // instrument up.
    SimulatedInstrumentPort(SimulatedClock& world, std::string portName, const SimOptions& options,
                            const SimulatedPortFaults& portFaults = {});
    ~SimulatedInstrumentPort() override;
    SimulatedInstrumentPort(const SimulatedInstrumentPort&) = delete;
    SimulatedInstrumentPort& operator=(const SimulatedInstrumentPort&) = delete;

    // Flash, instrument, transcript; false with `error` filled on failure.
    bool Start(std::string& error);

    void Receive(std::span<const TimedByte> bytes, DWORD baud) override;
    bool Stalled() const override { return m_end.Stalled(); }
    std::optional<BYTE> Misheard(BYTE value) override { return m_end.Misheard(value); }

    // What the instrument is left with, for a run's verdict: its flash and
    // the bootloader's record in it, and which program runs.
    const Flash& FlashMemory() const { return m_end.FlashMemory(); }
    bool BootloaderRuns() const { return m_end.Device().BootloaderRuns(); }
    // True once the instrument pulled the cable (the hang-up fault).
    bool HungUp() const { return m_hungUp; }

private:
    static SimOptions PacedOptions(SimOptions options);
    // Acts on what has arrived, sends what is due, and wakes again when
    // something more falls due.
    void Pump();

    SimulatedClock& m_world;
    std::string m_portName;
    InstrumentEnd m_end;
    SimulatedLine& m_line;
    SimulatedClock::EventId m_wake;
    bool m_hungUp = false;
    // Storage reused by every Pump: a run hands bytes over thousands of
    // times, and a fresh buffer each time cost more than the hand-over itself.
    std::vector<LineByte> m_due;
};

}  // namespace sim
