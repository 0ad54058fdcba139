// When the pump may send an unanswered request again.
//
// A request is repeated only once its answer could no longer be on the way:
// the request's own wire time, the wire time of the reply it expects, and a
// margin for what lies between the instrument's UART and the dialog, in
// whole periods of the default pace. Sending sooner only draws a second
// reply that arrives while the next request is outstanding.
#pragma once

#include <cstdint>
#include <span>

#include "SendPacing.h"

// What is allowed for beyond the two wire times, in milliseconds:
//   16 ms  a USB serial adapter holds received bytes for up to its latency
//          timer before passing them on (the common default);
//   10 ms  the bootloader programs a 256-byte page before it answers
//          (a few milliseconds), or the main program finishes the work in hand;
//    4 ms  the port's listener thread and the dialog's message queue.
inline constexpr std::uint32_t kRepeatMarginMs = 30;

// The switch request toggles between the instrument's programs: a copy that
// reaches the bootloader after the first started it (the bootloader hears
// it whenever the main program talks at 38400 baud too) switches straight
// back. It is repeated only once the instrument has had the time the
// procedure grants it to change programs, in milliseconds.
inline constexpr std::uint32_t kSwitchRepeatMs = 500;

// Total length in bytes (CRC included) of the reply that `request`
// (unsealed: header and payload) expects; 0 when it expects none that the
// dialog knows of.
std::uint32_t ExpectedReplyLength(std::span<const std::uint8_t> request);

// How long after sending `request` at `baudRate` baud to wait before it is
// sent again: the exchange and the margin rounded up to whole periods of the
// default pace (kDefaultSendSpacing), so that a request whose exchange fits
// in one repeats at that pace, and for the switch request at least
// kSwitchRepeatMs.
PaceTime RepeatInterval(std::span<const std::uint8_t> request, std::uint32_t baudRate);
