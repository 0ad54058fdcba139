// The last frames on the wire, for the session log: a ring of the newest
// 200, each with its direction and its time in milliseconds from the start
// of the run. Written out as hex with the bootloader's access code masked:
// in every CMD_LOADER frame the six code bytes (payload bytes 0..5) and the
// CRC, which would otherwise let the code be worked out from frames of
// different lengths; and any run of the code's six bytes elsewhere (an echo
// on the line).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "CommandSet.h"
#include "LinkFrame.h"

inline constexpr std::size_t kKeptFrames = 200;

enum class WireDirection : std::uint8_t {
    Sent,
    Received,
    FailedChecksum,  // received bytes that announced a frame and failed its check
};

// The frame's bytes as hex pairs separated by blanks, with the access code
// (`accessCode`) and the CRC of CMD_LOADER frames shown as "**".
std::string MaskedHex(std::span<const std::uint8_t> frame, const AccessCodeBytes& accessCode);

class WireHistory {
public:
    explicit WireHistory(const AccessCodeBytes& accessCode) : m_accessCode(accessCode) {}

    // Keeps a copy of `frame` (at most kMaxFrameLength bytes are kept).
    void Record(std::int64_t atMs, WireDirection direction, std::span<const std::uint8_t> frame);

    // One line per kept frame, oldest first: "[   1234 ms] TX FE 46 00 22 50\n".
    std::string Render() const;
    std::size_t Size() const { return m_count; }

private:
    struct Entry {
        std::int64_t atMs = 0;
        WireDirection direction = WireDirection::Sent;
        std::uint8_t length = 0;
        std::array<std::uint8_t, kMaxFrameLength> bytes{};
    };

    AccessCodeBytes m_accessCode;
    std::array<Entry, kKeptFrames> m_ring{};
    std::size_t m_next = 0;   // where the next frame goes
    std::size_t m_count = 0;  // frames kept, up to kKeptFrames
};

// "[   1234 ms] ": the prefix of every timed line of the session log.
std::string TimeStamp(std::int64_t atMs);
