#include "WireHistory.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr const char* kMaskedByte = "**";
constexpr const char* kHexDigits = "0123456789ABCDEF";

const char* DirectionTag(WireDirection direction) {
    switch (direction) {
        case WireDirection::Sent:
            return "TX";
        case WireDirection::Received:
            return "RX";
        default:
            return "RX bad checksum";
    }
}

// Marks the bytes of `frame` that must not be shown.
std::vector<bool> SecretBytes(std::span<const std::uint8_t> frame,
                              const AccessCodeBytes& accessCode) {
    std::vector<bool> secret(frame.size(), false);
    const bool loaderFrame = frame.size() > static_cast<std::size_t>(kFrameCommandIndex) &&
                             (frame[kFrameCommandIndex] & ~kReplyFlagBit) == CMD_LOADER;
    if (loaderFrame) {
        const std::size_t codeEnd =
            std::min(frame.size(), static_cast<std::size_t>(kFramePayloadIndex) + kAccessCodeSize);
        std::fill(secret.begin() + std::min<std::size_t>(kFramePayloadIndex, frame.size()),
                  secret.begin() + static_cast<long>(codeEnd), true);
        const std::size_t crcStart =
            frame.size() - std::min<std::size_t>(kFrameCrcSize, frame.size());
        std::fill(secret.begin() + static_cast<long>(crcStart), secret.end(), true);
    }
    for (auto run = std::search(frame.begin(), frame.end(), accessCode.begin(), accessCode.end());
         run != frame.end();
         run = std::search(run + 1, frame.end(), accessCode.begin(), accessCode.end())) {
        const auto start = run - frame.begin();
        std::fill(secret.begin() + start, secret.begin() + start + kAccessCodeSize, true);
    }
    return secret;
}

}  // namespace

std::string MaskedHex(std::span<const std::uint8_t> frame, const AccessCodeBytes& accessCode) {
    const std::vector<bool> secret = SecretBytes(frame, accessCode);
    std::string text;
    text.reserve(frame.size() * 3);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        if (i != 0) {
            text += ' ';
        }
        if (secret[i]) {
            text += kMaskedByte;
        } else {
            // By hand: the wire history holds hundreds of frames, and printf
            // per byte made writing it out the costliest step of closing a log.
            text += kHexDigits[frame[i] >> 4];
            text += kHexDigits[frame[i] & 0x0F];
        }
    }
    return text;
}

void WireHistory::Record(std::int64_t atMs, WireDirection direction,
                         std::span<const std::uint8_t> frame) {
    Entry& entry = m_ring[m_next];
    entry.atMs = atMs;
    entry.direction = direction;
    const std::size_t kept = std::min(frame.size(), entry.bytes.size());
    entry.length = static_cast<std::uint8_t>(kept);
    std::copy_n(frame.begin(), kept, entry.bytes.begin());
    m_next = (m_next + 1) % m_ring.size();
    m_count = std::min(m_count + 1, m_ring.size());
}

std::string WireHistory::Render() const {
    std::string text;
    const std::size_t oldest = (m_next + m_ring.size() - m_count) % m_ring.size();
    for (std::size_t i = 0; i < m_count; ++i) {
        const Entry& entry = m_ring[(oldest + i) % m_ring.size()];
        text += TimeStamp(entry.atMs) + DirectionTag(entry.direction) + ' ' +
                MaskedHex(std::span(entry.bytes).first(entry.length), m_accessCode) + '\n';
    }
    return text;
}

std::string TimeStamp(std::int64_t atMs) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%8lld ms] ", static_cast<long long>(atMs));
    return stamp;
}
