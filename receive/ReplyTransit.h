// How late a frame may reach a dialog after its last byte left the far end's
// UART, beyond the bytes' own wire time.
#pragma once

#include <cstdint>

// In milliseconds:
//   16 ms  a USB serial adapter holds received bytes for up to its latency
//          timer before passing them on (the common default);
//   10 ms  the bootloader programs a 256-byte page before it answers
//          (a few milliseconds), or the main program finishes the work in hand;
//    4 ms  the port's listener thread and the dialog's message queue.
inline constexpr std::uint32_t kReplyTransitMs = 30;

// The longest a USB serial adapter holds bytes it has received before the
// driver has them, in milliseconds: its latency timer, set up to 40 ms on the
// adapters met in the field.
inline constexpr std::uint32_t kLongestAdapterHoldMs = 40;

// How late our own frame may come back on a line that echoes, beyond its
// wire time: the adapter holds the echoed bytes for its latency timer like
// any others; 10 ms more for the listener and the dialog's queue. An echo
// taken for a reply would be handed to the reply handling and the
// instrument's answer behind it dropped with the rest of the buffer.
inline constexpr std::uint32_t kEchoTransitMs = kLongestAdapterHoldMs + 10;
