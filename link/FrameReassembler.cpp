#include "FrameReassembler.h"

#include <algorithm>
#include <cstring>

#include "SessionEvents.h"

namespace {

// One read takes at most this many bytes, and never more than the room left.
constexpr std::size_t kMaxReadCount = kFrameBufferSize - 1;
// A deliberate flush reads once into a scratch buffer of 2048 bytes.
constexpr std::size_t kFlushScratchSize = 2048;
constexpr std::size_t kMaxFlushCount = kFlushScratchSize - 1;

// The total a header at `header` announces, or 0 when its length byte is
// above the largest payload (no frame start).
std::size_t AnnouncedTotal(const std::uint8_t* header) {
    const std::uint8_t payloadLength = header[kFrameLengthIndex];
    return payloadLength > kMaxPayloadLength
               ? 0
               : static_cast<std::size_t>(payloadLength) + kFrameOverhead;
}

}  // namespace

bool FrameReassembler::Receive(const PortRead& read, const FrameHandler& onFrame,
                               const OwnFrameTest& isOwn) {
    bool arrived = false;
    for (;;) {
        // The rule leaves fewer than kMaxFrameLength bytes held, so there is
        // always room for a read.
        const std::size_t request = std::min(kMaxReadCount, m_rxBuffer.size() - m_nRxCount);
        const std::size_t got =
            std::min(request, read(std::span(m_rxBuffer).subspan(m_nRxCount, request)));
        if (got == 0) {
            return arrived;
        }
        arrived = true;
        m_nRxCount += got;
        CutHeldFrames(onFrame, isOwn);
        if (got < request) {
            return arrived;  // the port had no more
        }
    }
}

bool FrameReassembler::OnReceiveGap(const PortRead& read, const FrameHandler& onFrame,
                                    const OwnFrameTest& isOwn) {
    if (Receive(read, onFrame, isOwn)) {
        return true;
    }
    // Nothing came for 50 ms: the frame at the front will never complete, so
    // it was no frame start. A whole frame held behind it is still handed
    // over; everything else is dropped. Bytes that a handler's nested event
    // loop receives meanwhile are fresh, not stalled: they stay.
    bool handedOver = false;
    const FrameHandler noteAndHandOver = [&](std::span<const std::uint8_t> frame) {
        handedOver = true;
        onFrame(frame);
    };
    m_bRealigning = true;
    CutHeldFrames(noteAndHandOver, isOwn);
    if (!handedOver) {
        Reset();
    }
    return false;
}

void FrameReassembler::FlushInput(const PortRead& read) {
    std::array<std::uint8_t, kFlushScratchSize> scratch;
    read(std::span(scratch).first(kMaxFlushCount));
    Reset();
}

void FrameReassembler::CutHeldFrames(const FrameHandler& onFrame, const OwnFrameTest& isOwn) {
    while (m_nRxCount >= static_cast<std::size_t>(kFrameHeaderSize)) {
        m_nRxExpected = AnnouncedTotal(m_rxBuffer.data());
        if (m_nRxExpected == 0) {
            DropFirstHeldByte();
            continue;
        }
        if (m_nRxCount < m_nRxExpected) {
            if (m_bRealigning && SkipToWholeFrame()) {
                continue;
            }
            return;  // wait for the rest
        }
        const int total = static_cast<int>(m_nRxExpected);
        if (!CheckFrame(m_rxBuffer.data(), total)) {
            // Only a front known to start a frame was a frame that failed;
            // realigning tries every byte and fails on most of them.
            if (!m_bRealigning) {
                ++m_nChecksumFailures;
                CurrentSession().OnChecksumFailed(std::span(m_rxBuffer).first(m_nRxExpected));
            }
            DropFirstHeldByte();
            continue;
        }
        if (isOwn && isOwn(std::span(m_rxBuffer).first(m_nRxExpected))) {
            ConsumeFrontFrame();
            continue;
        }
        // Bytes behind the frame go with the buffer; what arrives next may
        // then be the tail of a frame whose head went with them.
        const bool droppedBehind = m_nRxCount > m_nRxExpected;
        // The state is final before the handler runs: a nested event loop in
        // it may drive this object again.
        std::array<std::uint8_t, kMaxFrameLength> frame;
        std::copy_n(m_rxBuffer.begin(), m_nRxExpected, frame.begin());
        Reset();
        m_bRealigning = droppedBehind;
        const std::span<const std::uint8_t> checked =
            std::span(frame).first(static_cast<std::size_t>(total));
        CurrentSession().OnFrameReceived(checked);
        onFrame(checked);
    }
    m_nRxExpected = 0;
}

bool FrameReassembler::SkipToWholeFrame() {
    for (std::size_t start = 1; start + kFrameHeaderSize <= m_nRxCount; ++start) {
        const std::size_t total = AnnouncedTotal(m_rxBuffer.data() + start);
        if (total == 0 || start + total > m_nRxCount ||
            start + total <= m_nCandidatesCheckedThrough) {
            continue;
        }
        if (CheckFrame(m_rxBuffer.data() + start, static_cast<int>(total))) {
            ShiftOut(start);
            m_nCandidatesCheckedThrough = 0;
            return true;
        }
    }
    m_nCandidatesCheckedThrough = m_nRxCount;
    return false;
}

void FrameReassembler::DropFirstHeldByte() {
    ShiftOut(1);
    m_bRealigning = true;
}

void FrameReassembler::ConsumeFrontFrame() {
    ShiftOut(m_nRxExpected);
    m_bRealigning = false;
}

void FrameReassembler::ShiftOut(std::size_t count) {
    std::memmove(m_rxBuffer.data(), m_rxBuffer.data() + count, m_nRxCount - count);
    m_nRxCount -= count;
    m_nRxExpected = 0;
    m_nCandidatesCheckedThrough -= std::min(count, m_nCandidatesCheckedThrough);
}

void FrameReassembler::Reset() {
    m_nRxCount = 0;
    m_nRxExpected = 0;
    m_bRealigning = false;
    m_nCandidatesCheckedThrough = 0;
}
