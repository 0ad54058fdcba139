// The simulator's event loop: it waits in the kernel for bytes, signals and
// the next wire deadline, and moves bytes between the line, the wire, the
// request reader and the instrument.
#pragma once

#include "DeviceEntry.h"
#include "Flash.h"
#include "Instrument.h"
#include "RequestReader.h"
#include "SimLine.h"
#include "SimOptions.h"
#include "Transcript.h"
#include "Wire.h"

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
    bool HandleFrame(const CutFrame& frame, SimTime arrivedAt);
    void Reply(const ProgramAnswer& answer, std::uint32_t rate, const char* program,
               SimTime arrivedAt);
    void WriteDue(SimTime now);
    // True when held bytes may go to the line now (chunked delivery).
    bool ChunkDue(SimTime now) const;
    void FollowInstrumentRate();

    SimOptions m_options;
    SimTime m_start;
    Flash m_flash;
    std::unique_ptr<Instrument> m_instrument;
    SimLine m_line;
    DeviceEntry m_entry;
    Wire m_wire;
    RequestReader m_reader;
    Transcript m_transcript;
    std::vector<std::uint8_t> m_unwritten;  // due bytes the line would not take yet
    std::uint32_t m_lineRateSet = 0;        // the rate last set on a real tty
    long m_framesReceived = 0;
    SimTime m_lineQuietUntil;  // after a hang-up on the far end
    bool m_stalled = false;    // reading has stopped and the line is kept full
    SimTime m_nextChunk;       // when held bytes next leave, under --chunk
    int m_signals = -1;        // owned: SIGINT, SIGTERM, SIGHUP as data
};

}  // namespace sim
