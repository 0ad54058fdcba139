#include "SimulatedInstrumentPort.h"

#include <utility>
#include <vector>

namespace sim {
namespace {

// `spare`'s storage, emptied, for one hand-over; the caller gives it back
// when done. A hand-over may start another (the port, given bytes, may
// finish a write to the instrument), which then finds no spare and makes
// its own.
template <typename Byte>
std::vector<Byte> TakeBuffer(std::vector<Byte>& spare) {
    std::vector<Byte> buffer = std::move(spare);
    spare = {};
    buffer.clear();
    return buffer;
}

}  // namespace

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
    std::vector<LineByte> arrived = TakeBuffer(m_lineBytes);
    for (const TimedByte& byte : bytes) {
        arrived.push_back({byte.value, byte.at});
    }
    m_end.ReceiveTimed(arrived, baud);
    m_lineBytes = std::move(arrived);
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
    // byte with its own time; the port holds it back until then.
    std::vector<LineByte> due = TakeBuffer(m_lineBytes);
    m_end.TakeDue(MonotonicTime::max(), 0, due);
    if (!due.empty()) {
        std::vector<TimedByte> bytes = TakeBuffer(m_timedBytes);
        for (const LineByte& byte : due) {
            bytes.push_back({byte.value, byte.at, byte.rate});
        }
        m_line.Send(bytes);
        m_timedBytes = std::move(bytes);
    }
    m_lineBytes = std::move(due);
    m_world.Cancel(m_wake);
    if (const auto next = m_end.NextEvent()) {
        m_wake = m_world.At(*next, SimulatedClock::Lane::System, [this] { Pump(); });
    }
}

}  // namespace sim
