#include "Crc16.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Crc16, CheckValueOfTheNineDigits) {
    const char* digits = "123456789";
    EXPECT_EQ(ComputeCrc16(reinterpret_cast<const std::uint8_t*>(digits), std::strlen(digits)),
              0x4B37);
}

TEST(Crc16, EmptyInputGivesTheInitialValue) {
    EXPECT_EQ(ComputeCrc16(nullptr, 0), 0xFFFF);
}
