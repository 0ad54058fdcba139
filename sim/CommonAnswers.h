// What the instrument is, and the two answers both of its programs give
// alike: identify (also the updater's keep-alive) and status.
#pragma once

#include "InstrumentProtocol.h"

#include <cstdint>

namespace sim {

// The identify reply carries the year of manufacture less this, in one byte.
inline constexpr int kYearBase = 2000;

struct Identity {
    std::uint8_t deviceType = 3;      // 3: a Зирон-7
    std::uint8_t yearSince2000 = 11;  // year of manufacture − 2000
    std::uint8_t month = 7;           // month of manufacture
    std::uint16_t serialNumber = 12345;
};

// Identify reply: type, year − 2000, month, serial number low byte first.
ProgramAnswer AnswerIdentify(const Identity& identity);

// Status reply: bit 1 of byte 0 tells whether the bootloader runs.
ProgramAnswer AnswerStatus(bool bootloaderRuns);

// A request the running program does not act on.
ProgramAnswer Ignore(const char* why);

}  // namespace sim
