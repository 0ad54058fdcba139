// CRC-16 of the instrument's link: polynomial 0x8005 taken bit-reversed
// (0xA001), initial value 0xFFFF, reflected in and out, no final XOR.
// The same checksum seals every frame and sums the firmware image.
#pragma once

#include <cstddef>
#include <cstdint>

// Checksum of `count` bytes at `data` (which may be null when count is 0).
// The value goes on the wire low byte first.
std::uint16_t ComputeCrc16(const std::uint8_t* data, std::size_t count);
