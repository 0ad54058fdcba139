// How a ziron7-cli run ended, as a script tells the ends apart: one table
// gives each end its code (the same in every language: the JSON result's
// "code"), its exit code and the program's own words for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ExitCodes.h"
#include "PortDlg.h"
#include "SessionEvents.h"

enum class Outcome {
    Updated,           // written and verified
    Verified,          // the flash matches the image; nothing written
    Found,             // find: a Зирон-7 answered
    Listed,            // ports: the ports present are listed
    RefusedLater,      // the instrument holds later firmware
    BadUsage,          // the command line makes no command
    BadImage,          // the image file fails a check; nothing sent
    PortMissing,       // no such port
    NoAccess,          // the user may not open the port
    PortBusy,          // another program holds the port
    PortFailed,        // the port did not open for another reason
    NoInstrument,      // nothing answered the search
    ForeignDevice,     // a device of another type answered
    OwnEcho,           // only our own bytes came back: a loopback plug, an echoing adapter
    NoLink,            // the link was lost, or the bootloader could not be entered
    LeftInBootloader,  // found in its bootloader and left unwritten (no --yes)
    VerifyFailed,      // verification failed, or the flash differs
    CannotLeave,       // the instrument stays in its bootloader
    Interrupted,       // Ctrl+C or a request to terminate
};

// "updated", "port_busy", ...
std::string_view OutcomeCode(Outcome outcome);
// What the outcome means, in this run's language.
std::string_view OutcomeText(Outcome outcome);
// `interruptExitCode` is the one Interrupted carries: 128 + the signal's number.
int ExitCodeOf(Outcome outcome, int interruptExitCode = kExitInterrupted);

// How a run of the two dialogs ended.
struct RunEnd {
    bool imageLoaded = true;
    bool interrupted = false;            // the running dialog was cancelled by a signal
    int interruptExitCode = kExitInterrupted;
    std::optional<Outcome> portFailure;  // the port did not open: why
    CPortDlg::LineHeard heard = CPortDlg::LineHeard::Nothing;  // what the search heard
    bool found = false;         // the port dialog ended with OK
    // What the update dialog decided and the outcome box it showed, as it
    // reported them; empty when it got not so far.
    std::optional<UpdateDecision> decision;
    std::optional<UpdateConclusion> conclusion;
    std::uint8_t phase = 0;     // its phase then (PHASE_...)
    bool success = false;       // the firmware passed verification
    bool foundInLoader = false; // the instrument answered from its bootloader at start
    bool nothingToWrite = false;  // verify, or an update that found the image's own build
};

Outcome OutcomeOf(const RunEnd& end);

// The JSON result's "decision": "write", "verify", "refuse" or "none".
std::string_view DecisionCode(const RunEnd& end);

// What a search that did not find a Зирон-7 heard, as an outcome.
Outcome SearchOutcome(CPortDlg::LineHeard heard);

// Where the instrument stands after a run that did not succeed, in words
// for the person who runs the script. A run that had nothing to write never
// says the flash was written.
std::string InstrumentStateText(const RunEnd& end);
