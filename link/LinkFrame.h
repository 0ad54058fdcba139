// One message on the serial link to the instrument:
//
//   byte 0        start byte (0xFE in requests, 0x00 in bootloader data frames;
//                 receivers never look at it)
//   byte 1        command code (receivers ignore bit 7)
//   byte 2        payload length N, 0..250
//   bytes 3..2+N  payload
//   3+N, 4+N      CRC-16 of bytes 0..2+N, low byte first
//
// Frames are built, queued and kept without the CRC; SealFrame appends it just
// before the bytes go to the port, so a frame sent again is sealed again.
#pragma once

#include <cstdint>

inline constexpr int kFrameHeaderSize = 3;     // start, command, length
inline constexpr int kFrameCrcSize = 2;
inline constexpr int kFrameOverhead = kFrameHeaderSize + kFrameCrcSize;
inline constexpr int kMaxPayloadLength = 250;  // totals travel in 8-bit counters
inline constexpr int kMaxFrameLength = kMaxPayloadLength + kFrameOverhead;  // 255
inline constexpr int kFrameBufferSize = 300;   // every frame buffer in the program

inline constexpr int kFrameStartIndex = 0;
inline constexpr int kFrameCommandIndex = 1;
inline constexpr int kFrameLengthIndex = 2;
inline constexpr int kFramePayloadIndex = 3;

inline constexpr std::uint8_t kRequestStartByte = 0xFE;
inline constexpr std::uint8_t kReplyFlagBit = 0x80;  // a reply may carry it on the command byte

// Writes the CRC of the header and payload behind the payload of `frame`
// (which must have room for it) and returns the total length N + 5.
std::uint8_t SealFrame(std::uint8_t* frame);

// True when the CRC over the first total - 2 bytes of `bytes` equals the two
// bytes that follow, low byte first. A total below 2 never checks.
bool CheckFrame(const std::uint8_t* bytes, int total);
