// The firmware image that the program carries and installs.
//
// One instance lives for the whole run. It loads the image (resource "BIN",
// id 154, or bytes handed in), reads its version and build time from the
// header, and during an update produces every bootloader frame that writes
// the image into the instrument's flash and reads it back, and judges every
// reply to them.
//
// The header fields are read as ImageHeader.h describes. Derived values:
// S = image size, E = S | 0xFF (the last byte of the last page written),
// checksum = CRC-16 over offsets 0..E-1 of the image padded with 0xFF.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>

#include "CommandSet.h"
#include "ImageHeader.h"
#include "LinkFrame.h"

// The module's resource BIN/154, the image the program carries; empty when
// the module has none. The bytes are the module's and stay valid.
std::span<const std::uint8_t> EmbeddedFirmwareBytes();

// The largest image whose every block can be read back: from 65,280 bytes on
// the last page ends at 0xFFFF, and the read-back of its block at
// kFinalQueryAddress would be the checksum query itself, so such an image
// could be written but never verified. 65,279 bytes.
inline constexpr std::size_t kMaxVerifiableImageSize = std::size_t{kFinalQueryAddress} - 1;

// Results of BeginWrite, BeginVerify and OnReply.
inline constexpr std::uint8_t IMAGE_FRAME_READY = 0;     // queue GetFrame(), await its reply
inline constexpr std::uint8_t IMAGE_WRITE_COMPLETE = 1;  // the finish frame was acknowledged
inline constexpr std::uint8_t IMAGE_VERIFY_PASSED = 2;   // every byte, the checksum and E match
inline constexpr std::uint8_t IMAGE_VERIFY_FAILED = 3;
inline constexpr std::uint8_t IMAGE_OUT_OF_PLACE = 255;  // the reply does not fit the pass

class CFirmwareImage {
public:
    // The bootloader access code as bits 0..31 (`accessLow`) and bits 32..47
    // (low half of `accessHigh`); `command` goes into byte 1 of every frame
    // (the application passes CMD_LOADER).
    CFirmwareImage(std::uint32_t accessLow, std::uint32_t accessHigh, std::uint8_t command);
    virtual ~CFirmwareImage();
    CFirmwareImage(const CFirmwareImage&) = delete;
    CFirmwareImage& operator=(const CFirmwareImage&) = delete;

    // Loads the module's resource BIN/154; on failure shows the reason to the
    // operator (stop icon) and returns false.
    bool LoadFromResource();

    // Loads the given image as LoadFromResource does with the module's,
    // messages included. The bytes are not copied: they must stay valid and
    // unchanged for the object's lifetime.
    bool LoadFromBytes(std::span<const std::uint8_t> image);

    std::uint16_t GetVersion() const { return m_version; }
    std::time_t GetBuildTime() const { return m_buildTime; }
    std::string GetBuildDateText() const;  // "%d/%m/%Y", e.g. 20/06/2011

    // Start a write pass or a verify pass from address 0; the first frame is
    // ready on IMAGE_FRAME_READY (IMAGE_OUT_OF_PLACE when nothing is loaded).
    std::uint8_t BeginWrite();
    std::uint8_t BeginVerify();

    // Judges a reply to the frame last prepared (the whole frame that passed
    // CheckFrame, CRC included) and prepares the next one.
    std::uint8_t OnReply(std::span<const std::uint8_t> reply);

    // The frame prepared last, without its CRC: exactly its N + 3 bytes.
    std::span<const std::uint8_t> GetFrame() const;

    // Position (next byte to send or compare) and E, for the progress figure.
    std::uint32_t GetPosition() const { return m_position; }
    std::uint32_t GetEndValue() const { return m_endValue; }

private:
    std::uint8_t PrepareWriteFrame();
    void PrepareReadBackFrame();
    void CompareReadBackBlock(std::span<const std::uint8_t> block);
    std::uint8_t JudgeFinalQuery(std::span<const std::uint8_t> reply) const;
    std::uint8_t PaddedByte(std::uint32_t offset) const;  // 0xFF at and beyond S

    std::uint8_t m_transferState;
    std::uint32_t m_position = 0;
    bool m_verifyOk = false;                // every byte compared in this verify pass matched
    std::span<const std::uint8_t> m_image;  // not owned
    std::uint32_t m_endValue = 0;
    std::uint16_t m_checksum = 0;
    std::uint16_t m_version = 0;
    std::time_t m_buildTime;
    std::array<std::uint8_t, kFrameBufferSize> m_frame{};
    AccessCodeBytes m_accessCode;
    std::uint8_t m_command;
};
