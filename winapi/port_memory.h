// What a Win32 serial driver keeps of a port between one user and the next
// and a tty does not record: the line-state fields with no termios
// counterpart (null stripping, the error character, the stop on errors,
// the flow-control limits, ...) and the five time-outs. A port opened again
// starts from what its last user in this process left, as it does on
// Windows, so that a program that relies on a fresh port's state fails here
// the way it would fail there. What the tty records (rate, format, flow
// control, byte processing) comes from the tty itself, whoever set it.
//
// Safe to call from any thread.
#pragma once

#include <sys/types.h>

#include <optional>

#include "winapi_comm.h"

struct RememberedPortState {
    DCB dcb;
    COMMTIMEOUTS timeouts;
};

// What was last left for the tty device `device` (its st_rdev), if anything.
std::optional<RememberedPortState> RecallPortState(dev_t device);
// Keeps `state` for the next user of `device`.
void RememberPortState(dev_t device, const RememberedPortState& state);
