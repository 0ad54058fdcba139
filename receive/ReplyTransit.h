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
