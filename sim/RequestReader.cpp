#include "RequestReader.h"

#include "LinkFrame.h"

#include <utility>

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
    CutFrame frame{std::exchange(m_bytes, {}), false};
    frame.intact = possible && CheckFrame(frame.bytes.data(), static_cast<int>(total));
    m_discarding = !frame.intact;
    return frame;
}

}  // namespace sim
