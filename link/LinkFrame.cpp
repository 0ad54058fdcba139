#include "LinkFrame.h"

#include "Crc16.h"

std::uint8_t SealFrame(std::uint8_t* frame) {
    const int covered = kFrameHeaderSize + frame[kFrameLengthIndex];
    const std::uint16_t crc = ComputeCrc16(frame, static_cast<std::size_t>(covered));
    frame[covered] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[covered + 1] = static_cast<std::uint8_t>(crc >> 8);
    return static_cast<std::uint8_t>(covered + kFrameCrcSize);
}

bool CheckFrame(const std::uint8_t* bytes, int total) {
    if (total < kFrameCrcSize) {
        return false;
    }
    const int covered = total - kFrameCrcSize;
    const std::uint16_t crc = ComputeCrc16(bytes, static_cast<std::size_t>(covered));
    return bytes[covered] == (crc & 0xFF) && bytes[covered + 1] == (crc >> 8);
}
