#include "Crc16.h"

#include <array>

namespace {

// The table-driven form keeps the running value as two bytes and needs one
// table for each: the byte that is shifted out selects both the new high and
// the new low byte.
struct CrcTables {
    std::array<std::uint8_t, 256> high{};
    std::array<std::uint8_t, 256> low{};
};

constexpr std::uint16_t kReflectedPolynomial = 0xA001;
constexpr std::uint16_t kInitialValue = 0xFFFF;

constexpr CrcTables MakeTables() {
    CrcTables tables;
    for (unsigned index = 0; index < 256; ++index) {
        std::uint16_t value = static_cast<std::uint16_t>(index);
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1U) ? static_cast<std::uint16_t>((value >> 1) ^ kReflectedPolynomial)
                                 : static_cast<std::uint16_t>(value >> 1);
        }
        tables.high[index] = static_cast<std::uint8_t>(value >> 8);
        tables.low[index] = static_cast<std::uint8_t>(value & 0xFF);
    }
    return tables;
}

constexpr CrcTables kTables = MakeTables();

}  // namespace

std::uint16_t ComputeCrc16(const std::uint8_t* data, std::size_t count) {
    std::uint8_t high = kInitialValue >> 8;
    std::uint8_t low = kInitialValue & 0xFF;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t index = low ^ data[i];
        low = high ^ kTables.low[index];
        high = kTables.high[index];
    }
    return static_cast<std::uint16_t>((high << 8) | low);
}
