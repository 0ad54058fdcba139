// What every simulated run must satisfy, whatever it met: it ends in
// bounded time, its outcome is true to what the instrument holds, it never
// writes where it must not, it does not leave the instrument in its
// bootloader while the way back was open, it sends nothing after its
// outcome, the search hands on only the rate the instrument answers at and
// tells of another device only where one could answer, and the session log
// tells what happened.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "RunPlan.h"
#include "RunRecord.h"

namespace simulation {

enum class Violation : std::uint8_t {
    Unbounded,           // no outcome within the bound, or nothing left to happen
    FalseSuccess,        // "УСПЕШНО" without the image in a running main program
    MissedSuccess,       // a plan the update can master ended without success
    UntrueFailure,       // a failure shown while the instrument holds the image and runs it
    WroteWhenNotMeant,   // a refusal, a verification or a "no" changed the flash
    LeftInBootloader,    // left in the bootloader though the way back was open
    SentAfterOutcome,    // a frame went out after the outcome box
    LogDisagrees,        // the session log's identity or outcome is not what happened
    GaveUpEarly,         // failed on late replies sooner than the watchdog would
    FoundAtWrongRate,    // the search ended with OK at a rate the instrument does not answer at
    ForeignHeard,        // the search told of another device where none could answer
};
inline constexpr std::size_t kViolationKinds = 11;
std::string_view ViolationName(Violation violation);

// How the run ended, in a word: the outcome box's meaning, "not found" or
// "interrupted".
std::string_view OutcomeName(const RunRecord& record);

// The longest a run of `plan` may take in simulated time: the search's five
// passes, then each phase's bound without progress (the README's table),
// with the write and verify passes at the plan's loader reply delay and
// write latency.
std::chrono::milliseconds RunBound(const RunPlan& plan);

// Whether the firmware identity the update dialog read (date and version, as
// it reported them to the session log) is the one the instrument held when
// the run began. Counted apart from the violations, each with its seed,
// until enough seeds have shown none since the last cause was mended (an
// information request that an echoing, doubling line returned twice).
bool LogTellsTheFirmware(const RunRecord& record);

// Every rule the run broke; `image` is the firmware the update writes.
std::vector<Violation> Check(const RunPlan& plan, const RunRecord& record,
                             std::span<const std::uint8_t> image);

}  // namespace simulation
