// Building sealed frames and scripting a port's input for the link tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "FrameReassembler.h"
#include "LinkFrame.h"

using Bytes = std::vector<std::uint8_t>;

// A whole frame as it travels: header, payload, CRC.
inline Bytes SealedFrame(std::uint8_t start, std::uint8_t command, const Bytes& payload) {
    Bytes frame(kFrameHeaderSize + payload.size() + kFrameCrcSize);
    frame[0] = start;
    frame[1] = command;
    frame[2] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + kFramePayloadIndex);
    SealFrame(frame.data());
    return frame;
}

// Bytes waiting in the port: a test pushes them as the line delivers them.
class ScriptedPort {
public:
    void Arrive(std::span<const std::uint8_t> bytes) {
        m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    }
    std::size_t Pending() const { return m_pending.size(); }

    FrameReassembler::PortRead Reader() {
        return [this](std::span<std::uint8_t> into) {
            const std::size_t count = std::min(into.size(), m_pending.size());
            std::copy_n(m_pending.begin(), count, into.begin());
            m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(count));
            return count;
        };
    }

private:
    std::deque<std::uint8_t> m_pending;
};
