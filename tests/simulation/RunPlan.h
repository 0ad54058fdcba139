// What one seeded run of the whole program meets: the instrument and its
// firmware, the line and its faults, the PC's timer lateness, the pace the
// operator chose and what the operator does. A seed gives one plan and
// always the same one, so any run can be played again from its seed alone.
//
// The ranges are what a real instrument, adapter, PC or operator may do and
// the protocol does not rule out (each field says its own); faults are drawn
// independently, so that they also meet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SendPacing.h"
#include "SimOptions.h"

namespace simulation {

// A key or click of the operator's, at a moment of the run.
enum class OperatorKey : std::uint8_t {
    None,
    ExitButton,  // "Выход"
    Escape,
    Enter,
    CloseBox,
};

struct OperatorPlan {
    OperatorKey key = OperatorKey::None;
    // When the key is pressed, in ms after the update dialog has started
    // (or after the port dialog has, with `inSearch`).
    int atMs = 0;
    bool inSearch = false;
    // The answer to "write into an instrument found in its bootloader?".
    bool writeIntoBootloader = true;
};

struct RunPlan {
    std::uint64_t seed = 0;
    // The instrument and the line: ziron7-sim's own switches, so that the
    // same instrument can also be played on a pseudo-terminal, and what
    // they set.
    std::vector<std::string> simSwitches;
    sim::SimOptions instrument;
    // How late a window timer fires, at most, in ms: 0 to 16 (the 15.6 ms
    // clock tick of a PC that grants no precise timers).
    int timerLatenessMs = 0;
    // The latency timer of the USB adapter the port is, in ms: 0 (a UART of
    // the PC's own) or 1 to 40 (the timers met in the field). It holds what
    // it heard, also past the program's rate changes.
    int adapterLatencyMs = 0;
    // How long each write waits before its first byte leaves, in ms: 0, or
    // 1 to 300 (a busy PC, an adapter's driver slow to take a write), which
    // reaches beyond a frame's wire time and the 250 ms a write may take.
    int writeLatencyMs = 0;
    Pacing pacing = Pacing::Default;
    OperatorPlan person;
};

// The plan of `seed`.
RunPlan DrawPlan(std::uint64_t seed);

// A plan of one's own: the instrument and line that ziron7-sim's
// `simSwitches` give, a clean PC, the default pace, nobody pressing keys.
// Throws std::invalid_argument for switches the simulator refuses.
RunPlan PlanWith(std::uint64_t seed, std::vector<std::string> simSwitches);

// One line that names every drawn fault, for traces and failure reports.
std::string Describe(const RunPlan& plan);

// Whether the plan leaves the instrument able to take the update and return
// to its main program: a clean enough line, an instrument of the right type
// whose programs keep to the protocol, no cable pulled and no key pressed.
// Only such runs owe a success when the update has something to write.
bool UpdateCanSucceed(const RunPlan& plan);

// Whether the plan would owe a success but for replies of some kinds
// (status, information, loader) later than their prompt ranges, yet none
// later than the watchdog: such a run may fail, but no sooner than the
// watchdog would have given up, and true to what the instrument holds.
bool LateWithinTheWatchdog(const RunPlan& plan);

}  // namespace simulation
