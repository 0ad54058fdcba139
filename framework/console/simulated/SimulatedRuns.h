// What a runner of the simulated world reads back from the console
// backend's simulated event loop.
#pragma once

#include <cstdint>

// How many modal runs have ended because the simulated world's queue was
// empty while their dialog still ran: nothing could ever have happened
// again, so each ended as a cancel (IDCANCEL). 0 in a sound run.
std::uint64_t SimulatedRunsStalled();
