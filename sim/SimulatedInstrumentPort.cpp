#include "SimulatedInstrumentPort.h"

#include <utility>
#include <vector>

namespace sim {

SimOptions SimulatedInstrumentPort::PacedOptions(SimOptions options) {
    options.pace = true;
    return options;
}

SimulatedInstrumentPort::SimulatedInstrumentPort(SimulatedClock& world, std::string portName,
                                                 const SimOptions& options,
                                                 const SimulatedPortFaults& portFaults)
    : m_world(world),
      m_portName(std::move(portName)),
      m_end(PacedOptions(options), world.Now()),
      m_line(RegisterSimulatedPort(m_portName, *this, portFaults)) {}

SimulatedInstrumentPort::~SimulatedInstrumentPort() {
    m_world.Cancel(m_wake);
    UnregisterSimulatedPort(m_portName);
}

bool SimulatedInstrumentPort::Start(std::string& error) {
    return m_end.Start(error);
}

void SimulatedInstrumentPort::Receive(std::span<const TimedByte> bytes, DWORD baud) {
    if (m_hungUp) {
        return;
    }
    m_end.ReceiveTimed(bytes, baud);
    Pump();
}

void SimulatedInstrumentPort::Pump() {
    const MonotonicTime now = m_world.Now();
    if (!m_end.HandleArrived(now)) {
        m_hungUp = true;
        m_world.Cancel(m_wake);
        m_line.Pull();
        return;
    }
    // Everything the instrument has sent so far goes to the port now, each
    // byte with its own time; the port holds it back until then. Handing
    // bytes over may start another hand-over (the port, given bytes, may
    // finish a write to the instrument), which then finds the storage taken
    // and makes its own.
    std::vector<LineByte> due = std::exchange(m_due, {});
    due.clear();
    m_end.TakeDue(MonotonicTime::max(), 0, due);
    if (!due.empty()) {
        m_line.Send(due);
    }
    m_due = std::move(due);
    m_world.Cancel(m_wake);
    if (const auto next = m_end.NextEvent()) {
        m_wake = m_world.At(*next, SimulatedClock::Lane::System, [this] { Pump(); });
    }
}

}  // namespace sim
