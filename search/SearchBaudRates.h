// The baud rates at which the search looks for the instrument, in the order
// it tries them.
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::array<std::int32_t, 6> SearchBaudRates = {4800,  9600,  19200,
                                                                38400, 57600, 115200};
