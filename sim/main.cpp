// ziron7-sim: a simulated Зирон-7 power source on a pseudo-terminal, for
// trying and testing the firmware updater without the instrument.
#include "FirmwareIdentity.h"
#include "FirmwareSeed.h"
#include "SimOptions.h"
#include "Simulator.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    sim::SimOptions options;
    std::string error;
    switch (sim::ParseSimOptions(argc, argv, options, error)) {
        case sim::ParseOutcome::Help:
            std::fputs(sim::SimUsage(), stdout);
            return 0;
        case sim::ParseOutcome::Version:
            std::fputs(VersionText("ziron7-sim", ZIRON7_PROGRAM_VERSION, sim::EmbeddedFirmware()).c_str(),
                       stdout);
            return 0;
        case sim::ParseOutcome::Error:
            std::fprintf(stderr, "ziron7-sim: %s\nTry 'ziron7-sim --help'.\n", error.c_str());
            return 2;
        case sim::ParseOutcome::Run:
            break;
    }
    sim::Simulator simulator(options);
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "ziron7-sim: %s\n", error.c_str());
        return 1;
    }
    return simulator.Run();
}
