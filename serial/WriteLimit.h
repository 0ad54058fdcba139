// How long a write on the line may take: its wire time at the port's rate
// plus a margin. Neither the dialogs' thread nor the driver waits longer, so
// a stalled line (flow control held off, a hung adapter driver) ends a write
// instead of freezing the window.
#pragma once

#include "winapi_types.h"

// The most bit times one character takes on the line: start, 8 data,
// parity, 2 stop.
inline constexpr DWORD kMostBitsPerCharacter = 12;
// What a write may take beyond its wire time, in ms: a USB adapter's 16 ms
// latency timer, the driver's and the system's scheduling on a busy PC.
inline constexpr DWORD kWriteMarginMs = 250;
// The slowest rate the driver's own bound allows for, in baud: the
// instrument's slowest rate.
inline constexpr DWORD kSlowestLineRate = 4800;

// The limit for writing `length` bytes at `baudRate` bits per second, in ms.
// A rate of 0 (unknown) counts as the slowest.
constexpr DWORD WriteLimitMs(DWORD length, DWORD baudRate) {
    const DWORD rate = baudRate != 0 ? baudRate : kSlowestLineRate;
    constexpr DWORD kMillisecondsPerSecond = 1000;
    return (length * kMostBitsPerCharacter * kMillisecondsPerSecond + rate - 1) / rate +
           kWriteMarginMs;
}

// The driver's write bound, per byte, in ms, as COMMTIMEOUTS takes it: one
// character's wire time at the slowest rate, rounded up.
inline constexpr DWORD kWriteMsPerByte = WriteLimitMs(1, kSlowestLineRate) - kWriteMarginMs;
