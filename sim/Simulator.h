// The simulator's event loop on a pseudo-terminal or a tty: it waits in the
// kernel for bytes, signals and the instrument end's next deadline, and
// moves bytes between the line and the instrument's end of it.
#pragma once

#include "DeviceEntry.h"
#include "InstrumentEnd.h"
#include "SimLine.h"
#include "SimOptions.h"

#include <memory>
#include <string>
#include <vector>

namespace sim {

class Simulator {
public:
    explicit Simulator(const SimOptions& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Sets up flash, line, device entry and transcript, then announces the line
    // on stdout. Returns false with `error` filled when any of it fails.
    bool Start(std::string& error);
    // Serves the line until SIGINT, SIGTERM or SIGHUP, or until the hang-up
    // fault closes it. Returns the process exit code.
    int Run();

private:
    // Takes what the line holds; false when it reports a hang-up instead.
    bool ReadLine(SimTime now);
    // Handles what has arrived by `now`; false once the line is hung up.
    bool HandleArrived(SimTime now);
    void WriteDue(SimTime now);
    void FollowInstrumentRate();

    SimOptions m_options;
    InstrumentEnd m_end;
    SimLine m_line;
    DeviceEntry m_entry;
    std::vector<std::uint8_t> m_unwritten;  // due bytes the line would not take yet
    std::uint32_t m_lineRateSet = 0;        // the rate last set on a real tty
    SimTime m_lineQuietUntil;  // after a hang-up on the far end
    int m_signals = -1;        // owned: SIGINT, SIGTERM, SIGHUP as data
};

}  // namespace sim
