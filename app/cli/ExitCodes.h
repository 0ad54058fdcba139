// The exit codes of ziron7-cli, and how the end of a run maps onto them.
#pragma once

#include <cstdint>
#include <string>

inline constexpr int kExitSuccess = 0;       // updated, or verified
inline constexpr int kExitRefused = 1;       // the instrument holds later firmware
inline constexpr int kExitBadUsage = 2;      // bad arguments or a bad image file; nothing sent
inline constexpr int kExitNotFound = 3;      // no Зирон-7 answered, or the port cannot be opened
inline constexpr int kExitLinkLost = 4;      // link lost or cannot enter the bootloader
inline constexpr int kExitVerifyFailed = 5;  // verification failed
inline constexpr int kExitCannotLeave = 6;   // the instrument stays in its bootloader
inline constexpr int kExitInterrupted = 130; // Ctrl+C, as shells report SIGINT

// How a run of the two dialogs ended.
struct RunEnd {
    bool imageLoaded = true;
    bool interrupted = false;   // Ctrl+C: the running dialog was cancelled
    bool found = false;         // the port dialog ended with OK
    int updateResult = 0;       // the update dialog's end code
    std::uint8_t phase = 0;     // its phase then (PHASE_...)
    bool success = false;       // the firmware passed verification
    bool foundInLoader = false; // the instrument answered from its bootloader at start
};

int ExitCodeFor(const RunEnd& end);

// Where the instrument stands after a run that did not succeed, in words
// for the person who runs the script: `verifyOnly` when nothing was to be
// written.
std::string InstrumentStateText(const RunEnd& end, bool verifyOnly);
