// How the services consult the test seams (see winapi_seams.h).
#pragma once

#include "winapi_seams.h"

// Counts the call; true when a test asked for it to fail, with the error
// already in GetLastError.
bool InjectedFailure(SeamCall call);

// The line-error counter reader in force.
bool ReadLineErrorCounters(int fd, LineErrorCounters& counters);

// The low-latency requester in force.
bool RequestLowLatency(int fd);
