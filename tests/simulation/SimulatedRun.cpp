#include "SimulatedRun.h"

#include <stdexcept>
#include <string>

#include "DialogResults.h"
#include "FirmwareImage.h"
#include "FlasherApp.h"
#include "PortDlg.h"
#include "RunFacts.h"
#include "RunOracle.h"
#include "RunRecorder.h"
#include "SessionEvents.h"
#include "SessionEventsFanOut.h"
#include "SessionLog.h"
#include "SimulatedClock.h"
#include "SimulatedOperator.h"
#include "UpdateDlg.h"
#include "SimulatedInstrumentPort.h"
#include "SimulatedRuns.h"
#include "StaleInput.h"

namespace simulation {
namespace {

// The port the simulated instrument hangs on: COM1, the first entry.
constexpr const char* kPortName = "\\\\.\\COM1";
constexpr int kPortEntry = 0;

// The application as the operator's program has it, with the port named as
// the console program names it and the search unattended, so that a line
// where something else answers ends after its five passes.
class SimulatedFlasher final : public CFlasherApp {
public:
    SimulatedFlasher(RunRecord& record, SimulatedOperator& person)
        : m_record(record), m_person(person) {}

protected:
    int RunModal(CDialog& dialog) override {
        auto* search = dynamic_cast<CPortDlg*>(&dialog);
        if (search != nullptr) {
            search->m_nInitialPort = kPortEntry;
            search->m_bUnattended = true;
        }
        const int result = dialog.DoModal();
        m_person.OnDialogEnded();
        if (search != nullptr) {
            m_record.found = result == IDOK;
            m_record.anotherDeviceHeard = search->Heard() == CPortDlg::LineHeard::AnotherDevice;
        } else {
            m_record.updateResult = result;
        }
        return result;
    }

private:
    RunRecord& m_record;
    SimulatedOperator& m_person;
};

InstrumentState StateOf(const sim::SimulatedInstrumentPort& instrument) {
    const std::span<const std::uint8_t> flash = instrument.FlashMemory().Read(0, sim::kFlashSize);
    return {std::vector<std::uint8_t>(flash.begin(), flash.end()),
            instrument.FlashMemory().Record(), instrument.BootloaderRuns()};
}

}  // namespace

std::span<const std::uint8_t> UpdateImage() {
    return EmbeddedFirmwareBytes();
}

RunRecord PlaySeed(const RunPlan& plan, std::FILE* trace) {
    SimulatedClock world(plan.seed);
    world.SetTimerLateness(std::chrono::milliseconds(plan.timerLatenessMs));
    world.Install();

    RunRecord record;
    record.started = world.Now();

    SimulatedPortFaults port;
    port.latencyTimerMs = plan.adapterLatencyMs;
    port.staleInput = sim::StaleInput(plan.instrument);
    port.writeLatencyNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::milliseconds(plan.writeLatencyMs))
                              .count();
    sim::SimulatedInstrumentPort instrument(world, kPortName, plan.instrument, port);
    std::string error;
    if (!instrument.Start(error)) {
        throw std::runtime_error("the simulated instrument does not start: " + error);
    }
    record.before = StateOf(instrument);
    const std::uint64_t stalledBefore = SimulatedRunsStalled();

    RunFacts facts;
    SessionLog log({}, ProgramStamp{"simulated", "simulated"}, facts);
    RunRecorder recorder(record, trace, [&instrument] { return instrument.BootloaderRuns(); });
    SessionEventsFanOut run{&facts, &log, &recorder};
    SimulatedOperator person(plan.person, world, recorder);
    InstallConsoleOperator(&person);
    // The bound: a run still going by then is ended, and counted.
    const auto bound = world.After(RunBound(plan), SimulatedClock::Lane::UserInterface, [&] {
        record.cutAtBound = true;
        person.GiveUp();
    });
    {
        const SessionEventsScope listening(run);
        SimulatedFlasher app(record, person);
        app.m_nPacing = plan.pacing;
        app.InitInstance();
    }
    world.Cancel(bound);
    InstallConsoleOperator(nullptr);
    log.Finish();
    record.ended = world.Now();
    record.stalled = SimulatedRunsStalled() != stalledBefore;
    record.loggedIdentity = facts.InstrumentIdentity();
    record.after = StateOf(instrument);
    return record;
}

}  // namespace simulation
