// When the pump may send an unanswered request again.
//
// A request is repeated only once its answer could no longer be on the way:
// the request's own wire time, the wire time of the reply it expects, and a
// margin for what lies between the instrument's UART and the dialog
// (kReplyTransitMs), in whole periods of the default pace. Sending sooner only draws a second
// reply that arrives while the next request is outstanding.
#pragma once

#include <cstdint>
#include <span>

#include "ReplyTransit.h"
#include "SendPacing.h"

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

// True when the reply that `request` (unsealed) expects is as long as the
// request itself: a bootloader operation answered by its code and address
// alone, which is byte for byte the request unless the instrument marks its
// replies with bit 7.
bool AnswerMayEqualRequest(std::span<const std::uint8_t> request);

// How long the sealed frame `frame` takes on the wire at `baudRate` baud;
// zero when the rate is unknown.
PaceTime FrameWireTime(std::span<const std::uint8_t> frame, std::uint32_t baudRate);

// How long `request` (unsealed) and the reply it expects take on the wire
// at `baudRate` baud: the least time in which that reply can arrive after
// the request is written. Zero when the rate is unknown.
PaceTime ExchangeWireTime(std::span<const std::uint8_t> request, std::uint32_t baudRate);

// How long after sending `request` at `baudRate` baud to wait before it is
// sent again: the exchange and the margin rounded up to whole periods of the
// default pace (kDefaultSendSpacing), so that a request whose exchange fits
// in one repeats at that pace, and for the switch request at least
// kSwitchRepeatMs.
PaceTime RepeatInterval(std::span<const std::uint8_t> request, std::uint32_t baudRate);
