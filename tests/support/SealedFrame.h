// A frame made whole for the line: its CRC appended.
#pragma once

#include <cstdint>
#include <vector>

#include "LinkFrame.h"

namespace testsupport {

// `frame` (header and payload) with its CRC after them.
inline std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> frame) {
    frame.resize(frame.size() + kFrameCrcSize);
    SealFrame(frame.data());
    return frame;
}

}  // namespace testsupport
