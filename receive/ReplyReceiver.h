// How both dialogs take in their port's replies: the bytes the port holds go
// through the dialog's FrameReassembler, our own frames coming back are
// passed over (OwnEcho), and whenever any bytes arrived the dialog's
// receive-gap timer starts afresh, so the gap only falls due 50 ms after the
// last byte and drops nothing that is still coming in.
#pragma once

#include "Dialog.h"
#include "FrameReassembler.h"
#include "OwnEcho.h"
#include "SerialBase.h"

// The quiet time after the last received byte that ends a partial reply.
inline constexpr UINT kReceiveGapMs = 50;

// Why the dialog takes in bytes now.
enum class ReceiveCause {
    CharactersArrived,  // the port's notification for received characters
    GapElapsed,         // the dialog's receive-gap timer fell due
};

// Feeds what `port` holds through `rx` to `onFrame`, all but what `echo`
// finds is our own, and restarts `dialog`'s receive-gap timer `gapTimer`
// (the id, kept as SetTimer returns it) when bytes arrived; true then.
// Nothing is owned.
bool ReceiveReplies(ReceiveCause cause, CSerialBase& port, FrameReassembler& rx, OwnEcho& echo,
                    const FrameReassembler::FrameHandler& onFrame, CDialog& dialog,
                    UINT_PTR& gapTimer);

// Reads and discards what `port` holds and forgets `rx`'s partial frame.
void FlushReplies(CSerialBase& port, FrameReassembler& rx);
