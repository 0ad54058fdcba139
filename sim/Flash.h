// The instrument's program flash and the bootloader's record of the last
// programming, kept in a file so that one run of the updater sees what the
// previous one wrote. Without a file they live in memory for this run only.
//
// File layout: 65,536 bytes of flash (address 0 first), then the record:
// checksum (2 bytes), end value (2 bytes), number of reprogrammings (4 bytes),
// all low byte first.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::size_t kFlashSize = 0x10000;

// Where the main program finds its identity in its own flash.
inline constexpr std::size_t kBuildDateOffset = 140;  // 11 characters
inline constexpr std::size_t kBuildDateLength = 11;
inline constexpr std::size_t kBuildTimeOffset = 152;  // 8 characters
inline constexpr std::size_t kBuildTimeLength = 8;
inline constexpr std::size_t kVersionOffset = 163;  // 16 bits, low byte first

struct BootRecord {
    std::uint16_t checksum = 0xFFFF;
    std::uint16_t endValue = 0xFFFF;
    std::uint32_t reprogrammings = 0;
};

class Flash {
public:
    Flash() = default;
    ~Flash();
    Flash(const Flash&) = delete;
    Flash& operator=(const Flash&) = delete;

    // Opens the flash file at `path` (memory only when empty). A file that does
    // not exist yet is created from `seed`, as if the seed had been programmed
    // `reprogrammings` times. Returns false with `error` filled on failure.
    bool Open(const std::string& path, std::span<const std::uint8_t> seed,
              std::uint32_t reprogrammings, std::string& error);

    std::span<const std::uint8_t> Read(std::size_t address, std::size_t count) const;
    std::uint16_t ReadWord(std::size_t address) const;

    // Programs one page of kPageSize bytes at a page-aligned address.
    bool ProgramPage(std::uint16_t address, std::span<const std::uint8_t> page);

    const BootRecord& Record() const { return m_record; }
    bool StoreRecord(const BootRecord& record);

    // The last failure to write the file, empty when none.
    const std::string& WriteError() const { return m_writeError; }

private:
    bool WriteAt(std::size_t offset, std::span<const std::uint8_t> bytes);

    std::vector<std::uint8_t> m_bytes = std::vector<std::uint8_t>(kFlashSize, 0xFF);
    BootRecord m_record;
    int m_fd = -1;  // owned; -1 while the flash lives in memory only
    std::string m_writeError;
};

// True when `path` names a flash file that a previous run left.
bool FlashFileExists(const std::string& path);

// The checksum and end value that programming `image` leaves in the record:
// CRC over the padded image up to, not including, the end value S | 0xFF.
BootRecord RecordFor(std::span<const std::uint8_t> image, std::uint32_t reprogrammings);

}  // namespace sim
