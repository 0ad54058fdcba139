// Cuts reply frames out of the byte stream that the port delivers. Each
// receiving dialog owns one and drives it from three places:
//
//   - the port event for received characters: Receive();
//   - the expiry of its 50 ms receive-gap timer: OnReceiveGap();
//   - an explicit discard of whatever is pending (the update dialog's
//     start-up): FlushInput().
//
// The port read is injected as a callable, so the rule runs the same against
// a real port, a test's scripted stream or a fuzzer's input. Receive and
// OnReceiveGap report whether bytes arrived: the dialog then restarts its gap
// timer, so the gap only ever falls due 50 ms after the last byte.
//
// Cutting rule: once three bytes are held, byte 2 announces the total N + 5.
// When that many bytes are held the frame's CRC is checked. A frame that
// passes is handed over and the buffer is consumed whole (bytes behind it in
// the same read go with it), unless it is the program's own frame come back
// (OwnFrameTest): that one costs only its own bytes. A frame that fails, or
// a length byte above 250, costs only the first held byte: the rule is
// applied again to the bytes behind it, so the receiver finds the next true frame start among the bytes
// it holds or is about to receive even on a line that never falls quiet.
//
// While realigning (after such a drop, or after bytes went with the buffer
// behind a frame) the bytes at the front are suspect: a false start would
// make the receiver wait for up to 255 bytes. So a whole frame that passes
// its check further on is taken at once, and what lies before it dropped.
// A front that starts at a known boundary is always waited for, so bytes
// inside a genuine frame are never mistaken for a frame of their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "LinkFrame.h"

class FrameReassembler {
public:
    // Reads at most `into.size()` pending bytes into `into` without waiting
    // and returns how many it read (0 when none are pending or on error).
    using PortRead = std::function<std::size_t(std::span<std::uint8_t> into)>;

    // Receives each frame that passes CheckFrame: its N + 5 bytes as
    // received (bit 7 of the command byte untouched; see ReplyCommand). The
    // bytes are a copy that stays valid for the call only. The handler may
    // run nested event loops (message boxes) in which this object is driven
    // again; that is safe.
    using FrameHandler = std::function<void(std::span<const std::uint8_t> frame)>;

    // True when a frame that passed its check is one of the program's own
    // coming back (a line that echoes). Such a frame is not handed over and
    // costs only its own bytes: what follows it, often the answer in the
    // same read, starts a frame. Called before the frame is consumed, with
    // the bytes held; it must not drive this object. Empty: none is.
    using OwnFrameTest = std::function<bool(std::span<const std::uint8_t> frame)>;

    // The port's notification for received characters: reads what is
    // pending (again while a read fills its request) and hands over every
    // complete frame. True when any bytes arrived.
    bool Receive(const PortRead& read, const FrameHandler& onFrame,
                 const OwnFrameTest& isOwn = {});

    // The receive-gap timer fell due. Bytes pending in the port belong to
    // the stream and are taken first, like Receive, so a reply whose last
    // bytes are already waiting is never lost to the gap. Only when nothing
    // arrived has the partial frame held really stalled for 50 ms: it is
    // dropped, and a whole frame held behind it is still handed over.
    // Returns true when bytes arrived (restart the gap timer).
    bool OnReceiveGap(const PortRead& read, const FrameHandler& onFrame,
                      const OwnFrameTest& isOwn = {});

    // Reads and discards up to 2047 pending bytes and forgets any partial
    // frame: a deliberate fresh start.
    void FlushInput(const PortRead& read);

    // Bytes held towards the next frame (for the dialogs' diagnostics and tests).
    std::size_t HeldCount() const { return m_nRxCount; }
    // Frames that failed their checksum so far: a sign of a troubled line.
    std::size_t ChecksumFailures() const { return m_nChecksumFailures; }

private:
    // Applies the cutting rule to the held bytes until it needs more input.
    void CutHeldFrames(const FrameHandler& onFrame, const OwnFrameTest& isOwn);
    // While realigning: moves the first whole frame that passes its check
    // behind the front to the front. False when there is none.
    bool SkipToWholeFrame();
    void DropFirstHeldByte();
    // Consumes the whole frame at the front and keeps what lies behind it.
    void ConsumeFrontFrame();
    // The held bytes move `count` towards the front.
    void ShiftOut(std::size_t count);
    void Reset();

    std::array<std::uint8_t, kFrameBufferSize> m_rxBuffer{};
    std::size_t m_nRxCount = 0;     // bytes held, always below kMaxFrameLength between calls
    std::size_t m_nRxExpected = 0;  // total of the frame at the front; 0 while not yet known
    std::size_t m_nChecksumFailures = 0;  // counted over the object's life
    bool m_bRealigning = false;     // the front is not known to start a frame
    // Every frame that SkipToWholeFrame could find wholly within the first
    // this many held bytes failed its check already: held bytes never change,
    // so a line that realigns for long checks each candidate once, not once
    // per read.
    std::size_t m_nCandidatesCheckedThrough = 0;
};
