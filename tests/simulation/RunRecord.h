// What one simulated run showed and left: the frames the program sent and
// the boxes it showed, each at its simulated time, how its dialogs ended,
// what the session log made of it, and the instrument before and after.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Flash.h"
#include "MonotonicClock.h"
#include "RunFacts.h"

namespace simulation {

struct ShownBox {
    MonotonicTime at;
    std::string text;
};

// The instrument as the oracle compares it.
struct InstrumentState {
    std::vector<std::uint8_t> flash;  // all kFlashSize bytes
    sim::BootRecord record;
    bool bootloaderRuns = false;
};

struct RunRecord {
    MonotonicTime started;
    MonotonicTime ended;
    // The queue ran dry while a dialog still waited: nothing could ever
    // happen again (a hang in a real run).
    bool stalled = false;
    // The run was stopped at the bound the oracle allows.
    bool cutAtBound = false;

    bool found = false;                 // the port dialog ended with OK
    bool anotherDeviceHeard = false;    // the search told of a device other than a Зирон-7
    std::optional<int> updateResult;    // the update dialog's end code, if it ran
    std::optional<MonotonicTime> updateStarted;
    std::size_t framesSent = 0;
    std::size_t requestsRepeated = 0;
    // Frames that went out after the outcome box had been shown.
    std::size_t framesAfterOutcome = 0;
    // Switch requests that went out while the instrument ran its
    // bootloader: the tries to leave it, whether the line let them through.
    std::size_t switchBacksSent = 0;
    std::vector<ShownBox> boxes;
    // The first box of the update dialog: its outcome.
    std::optional<ShownBox> outcome;

    // The instrument and its firmware as the run's facts hold them (and its
    // session log writes them): what the search and the update dialog
    // reported they took.
    RunFacts::Identity loggedIdentity;

    InstrumentState before;
    InstrumentState after;
};

}  // namespace simulation
