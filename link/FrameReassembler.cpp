#include "FrameReassembler.h"

#include <algorithm>
#include <cstring>

namespace {

// One read takes at most this many bytes, and never more than the room left.
constexpr std::size_t kMaxReadCount = kFrameBufferSize - 1;
// A deliberate flush reads once into a scratch buffer of 2048 bytes.
constexpr std::size_t kFlushScratchSize = 2048;
constexpr std::size_t kMaxFlushCount = kFlushScratchSize - 1;

}  // namespace

bool FrameReassembler::Receive(const PortRead& read, const FrameHandler& onFrame) {
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
        CutHeldFrames(onFrame);
        if (got < request) {
            return arrived;  // the port had no more
        }
    }
}

bool FrameReassembler::OnReceiveGap(const PortRead& read, const FrameHandler& onFrame) {
    if (Receive(read, onFrame)) {
        return true;
    }
    Reset();
    return false;
}

void FrameReassembler::FlushInput(const PortRead& read) {
    std::array<std::uint8_t, kFlushScratchSize> scratch;
    read(std::span(scratch).first(kMaxFlushCount));
    Reset();
}

void FrameReassembler::CutHeldFrames(const FrameHandler& onFrame) {
    while (m_nRxCount >= static_cast<std::size_t>(kFrameHeaderSize)) {
        const std::uint8_t payloadLength = m_rxBuffer[kFrameLengthIndex];
        if (payloadLength > kMaxPayloadLength) {
            DropFirstHeldByte();  // no frame is that long: not a frame start
            continue;
        }
        m_nRxExpected = static_cast<std::size_t>(payloadLength) + kFrameOverhead;
        if (m_nRxCount < m_nRxExpected) {
            return;  // wait for the rest
        }
        const int total = static_cast<int>(m_nRxExpected);
        if (!CheckFrame(m_rxBuffer.data(), total)) {
            DropFirstHeldByte();
            continue;
        }
        // The state is final before the handler runs: a nested event loop in
        // it may drive this object again.
        std::array<std::uint8_t, kMaxFrameLength> frame;
        std::copy_n(m_rxBuffer.begin(), m_nRxExpected, frame.begin());
        Reset();
        onFrame(std::span(frame).first(static_cast<std::size_t>(total)));
    }
    m_nRxExpected = 0;
}

void FrameReassembler::DropFirstHeldByte() {
    std::memmove(m_rxBuffer.data(), m_rxBuffer.data() + 1, m_nRxCount - 1);
    --m_nRxCount;
    m_nRxExpected = 0;
}

void FrameReassembler::Reset() {
    m_nRxCount = 0;
    m_nRxExpected = 0;
}
