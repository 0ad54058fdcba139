#include "ReplyReceiver.h"

#include "MonotonicClock.h"

namespace {

// The port's read as the reassembler wants it: what is there, without
// waiting, whatever the driver does with a read of more than has arrived.
FrameReassembler::PortRead PendingBytesOf(CSerialBase& port) {
    return [&port](std::span<std::uint8_t> into) -> std::size_t {
        DWORD count = 0;
        port.ReadArrived(into.data(), static_cast<DWORD>(into.size()), &count);
        return count;
    };
}

}  // namespace

bool ReceiveReplies(ReceiveCause cause, CSerialBase& port, FrameReassembler& rx, OwnEcho& echo,
                    const FrameReassembler::FrameHandler& onFrame, CDialog& dialog,
                    UINT_PTR& gapTimer) {
    const FrameReassembler::PortRead read = PendingBytesOf(port);
    const FrameReassembler::OwnFrameTest ownEcho = [&echo](std::span<const std::uint8_t> frame) {
        return echo.IsOwnEcho(frame, MonotonicNow());
    };
    const bool arrived = cause == ReceiveCause::GapElapsed
                             ? rx.OnReceiveGap(read, onFrame, ownEcho)
                             : rx.Receive(read, onFrame, ownEcho);
    if (arrived) {
        // Refused, it is asked for again with the next bytes.
        dialog.StartTimer(gapTimer, kReceiveGapMs);
    }
    return arrived;
}

void FlushReplies(CSerialBase& port, FrameReassembler& rx) {
    rx.FlushInput(PendingBytesOf(port));
}
