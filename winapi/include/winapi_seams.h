// Seams for tests, on Linux only: make a Win32 service fail the way the
// system can make it fail, count how often a service was called, stand in
// for the tty driver's line-error counters, which a pseudo-terminal does not
// keep, and see the low-latency request made of the driver when a port
// opens. Product code never uses this header.
#pragma once

#include <cstdint>

#include "winapi_types.h"

enum class SeamCall {
    CreateFile,
    CreateEvent,
    CreateThread,
    SetupComm,
    GetCommState,
    SetCommState,
    SetCommMask,
    GetCommTimeouts,
    SetCommTimeouts,
    WaitCommEvent,
    WriteFile,
    ClearCommError,
    WaitForSingleObject,
    Count,
};

// The next `times` calls of `call`, on any thread, fail with `error`.
void FailNextCalls(SeamCall call, DWORD error, int times = 1);
// How often `call` has been made since the last reset.
int CallCount(SeamCall call);
// Drops pending failures and zeroes the counts.
void ResetSeams();

// The tty driver's cumulative line-error counts.
struct LineErrorCounters {
    std::uint64_t frame = 0;
    std::uint64_t overrun = 0;  // the UART lost characters
    std::uint64_t parity = 0;
    std::uint64_t brk = 0;            // breaks received
    std::uint64_t bufferOverrun = 0;  // the driver's buffer overflowed
};
// Reads the counters of the tty `fd`; false where the driver keeps none.
using LineErrorCounterReader = bool (*)(int fd, LineErrorCounters& counters);
// Installs `reader` (null: the driver's own) and returns the previous one.
// Ports read their starting counts when they are opened.
LineErrorCounterReader ReplaceLineErrorCounterReader(LineErrorCounterReader reader);

// Asks the driver of the tty `fd` to pass received bytes on at once rather
// than after its latency timer (the serial line's low-latency flag); false
// where the driver refuses or knows no such flag.
using LowLatencyRequester = bool (*)(int fd);
// Installs `requester` (null: the driver request itself) and returns the
// previous one. Ports make the request when they are opened.
LowLatencyRequester ReplaceLowLatencyRequester(LowLatencyRequester requester);
