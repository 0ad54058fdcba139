// How the instrument cuts requests out of the bytes it receives: the length
// byte says where a frame ends; a pause on the line drops a partial frame, and
// after a broken frame everything is ignored until the line has been quiet.
#pragma once

#include "Wire.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// A pause longer than this between two bytes starts a new frame. The updater
// writes a whole frame at once and at most one per 50 ms tick.
inline constexpr std::chrono::milliseconds kRequestGap{30};

struct CutFrame {
    std::vector<std::uint8_t> bytes;
    bool intact = false;  // the length is possible and the CRC matches
};

class RequestReader {
public:
    // Takes one received byte; returns a frame when this byte ends one.
    std::optional<CutFrame> Feed(const ArrivedByte& byte);

private:
    std::vector<std::uint8_t> m_bytes;
    SimTime m_lastAt;
    bool m_discarding = false;  // after a broken frame, until the line goes quiet
};

}  // namespace sim
