// The exit codes of ziron7-cli. Which end of a run carries which code is
// the outcome table's (RunOutcome.h).
#pragma once

inline constexpr int kExitSuccess = 0;       // updated, verified, or found
inline constexpr int kExitRefused = 1;       // the instrument holds later firmware
inline constexpr int kExitBadUsage = 2;      // bad arguments or a bad image file; nothing sent
inline constexpr int kExitNotFound = 3;      // no Зирон-7 answered, or the port cannot be opened
inline constexpr int kExitLinkLost = 4;      // link lost or cannot enter the bootloader
inline constexpr int kExitVerifyFailed = 5;  // verification failed
inline constexpr int kExitCannotLeave = 6;   // the instrument stays in its bootloader
// Interrupted: as shells report a process ended by a signal, 128 + its
// number: 130 for Ctrl+C (SIGINT), 143 for a request to terminate (SIGTERM).
inline constexpr int kExitSignalBase = 128;
inline constexpr int kExitInterrupted = kExitSignalBase + 2;   // SIGINT
inline constexpr int kExitTerminated = kExitSignalBase + 15;   // SIGTERM
