#include "LinkFrame.h"

#include <gtest/gtest.h>

#include <array>

namespace {

struct SealCase {
    std::uint8_t command;
    std::uint8_t crcLow;
    std::uint8_t crcHigh;
};

class SealRequest : public ::testing::TestWithParam<SealCase> {};

TEST_P(SealRequest, AppendsTheCrcLowByteFirst) {
    std::array<std::uint8_t, kFrameBufferSize> frame{kRequestStartByte, GetParam().command, 0};
    EXPECT_EQ(SealFrame(frame.data()), 5);
    EXPECT_EQ(frame[3], GetParam().crcLow);
    EXPECT_EQ(frame[4], GetParam().crcHigh);
    EXPECT_TRUE(CheckFrame(frame.data(), 5));
}

INSTANTIATE_TEST_SUITE_P(IdentifyAndStatus, SealRequest,
                         ::testing::Values(SealCase{0x46, 0x22, 0x50}, SealCase{0x4A, 0x27, 0x50}));

TEST(CheckFrame, EverySingleBitFlipFails) {
    std::array<std::uint8_t, kFrameBufferSize> frame{kRequestStartByte, 0x6C, 4, 1, 2, 3, 4};
    const int total = SealFrame(frame.data());
    for (int byte = 0; byte < total; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            frame[byte] ^= static_cast<std::uint8_t>(1U << bit);
            EXPECT_FALSE(CheckFrame(frame.data(), total)) << "byte " << byte << " bit " << bit;
            frame[byte] ^= static_cast<std::uint8_t>(1U << bit);
        }
    }
    EXPECT_TRUE(CheckFrame(frame.data(), total));
}

TEST(CheckFrame, TooShortNeverChecks) {
    const std::array<std::uint8_t, 2> bytes{0xFF, 0xFF};
    EXPECT_FALSE(CheckFrame(bytes.data(), 0));
    EXPECT_FALSE(CheckFrame(bytes.data(), 1));
}

}  // namespace
