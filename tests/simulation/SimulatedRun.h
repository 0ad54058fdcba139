// One seeded run of the whole program in simulated time: the real port
// dialog and update dialog on the simulated event loop, the port a
// simulated line with the simulated instrument at its far end, the operator
// as the plan has it. Nothing else runs and no real time passes: the run
// costs the CPU of its own work.
#pragma once

#include <cstdio>

#include "RunPlan.h"
#include "RunRecord.h"

namespace simulation {

// Plays `plan` to its end, or to the oracle's bound. With `trace` (not
// owned, may be null) every frame each way, every timer of the dialogs and
// every box goes there with its simulated time.
RunRecord PlaySeed(const RunPlan& plan, std::FILE* trace);

// The firmware the update writes: the program's own embedded image.
std::span<const std::uint8_t> UpdateImage();

}  // namespace simulation
