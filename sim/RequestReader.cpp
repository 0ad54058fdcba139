#include "RequestReader.h"

#include "LinkFrame.h"


namespace sim {

std::optional<CutFrame> RequestReader::Feed(const ArrivedByte& byte) {
    const bool quietBefore = byte.at - m_lastAt > kRequestGap;
    m_lastAt = byte.at;
    if (quietBefore) {
        m_bytes.clear();
        m_discarding = false;
    }
    if (m_discarding) {
        return std::nullopt;
    }
    m_bytes.push_back(byte.value);
    if (m_bytes.size() <= static_cast<std::size_t>(kFrameLengthIndex)) {
        return std::nullopt;
    }
    const int length = m_bytes[kFrameLengthIndex];
    const bool possible = length <= kMaxPayloadLength;
    const std::size_t total = static_cast<std::size_t>(length + kFrameOverhead);
    if (possible && m_bytes.size() < total) {
        return std::nullopt;
    }
    // Copied out at its size; the reader keeps its storage for the next
    // frame, which then grows into it without reallocating byte by byte.
    CutFrame frame{m_bytes, false};
    m_bytes.clear();
    frame.intact = possible && CheckFrame(frame.bytes.data(), static_cast<int>(total));
    m_discarding = !frame.intact;
    return frame;
}

}  // namespace sim
