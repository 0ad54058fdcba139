#include "CommandSet.h"

#include <gtest/gtest.h>

#include "AccessCode.h"
#include "FrameTestSupport.h"

namespace {

TEST(Requests, PlainRequestsAreTheirFixedBytes) {
    EXPECT_EQ(BuildIdentifyRequest(), (Bytes{0xFE, 0x46, 0x00}));
    EXPECT_EQ(BuildStatusRequest(), (Bytes{0xFE, 0x4A, 0x00}));
    EXPECT_EQ(BuildInfoRequest(2), (Bytes{0xFE, 0x6C, 0x01, 0x02}));
}

TEST(Requests, SwitchCarriesTheAccessCodeAndZeroAddress) {
    Bytes expected{0xFE, 0x6D, 0x09};
    expected.insert(expected.end(), kAccessCode.begin(), kAccessCode.end());
    expected.insert(expected.end(), {0x07, 0x00, 0x00});
    EXPECT_EQ(BuildSwitchRequest(kAccessCode), expected);
}

TEST(AccessCode, TwoIntegersGiveBackTheSixBytes) {
    EXPECT_EQ(AccessCodeFromParts(kAccessCodeLow, kAccessCodeHigh), kAccessCode);
    EXPECT_EQ(AccessCodeFromParts(0x3CC30FF0, 0x5AA5),
              (AccessCodeBytes{0x5A, 0xA5, 0x3C, 0xC3, 0x0F, 0xF0}));
}

TEST(Replies, IdentifyFields) {
    const auto reply = DecodeIdentifyReply(SealedFrame(0xFE, 0x46, {0x03, 0x0B, 0x07, 0x39, 0x30}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->deviceType, 3);
    EXPECT_EQ(reply->year, 2011);
    EXPECT_EQ(reply->month, 7);
    EXPECT_EQ(reply->serialNumber, 12345);
}

struct StatusCase {
    std::uint8_t status;
    bool bootloader;
};
class StatusReply : public ::testing::TestWithParam<StatusCase> {};
TEST_P(StatusReply, BitOneTellsTheBootloader) {
    const auto running = DecodeStatusReply(SealedFrame(0xFE, 0xCA, {GetParam().status}));
    ASSERT_TRUE(running);
    EXPECT_EQ(*running, GetParam().bootloader);
}
INSTANTIATE_TEST_SUITE_P(Bits, StatusReply,
                         ::testing::Values(StatusCase{0x02, true}, StatusCase{0x03, true},
                                           StatusCase{0x00, false}, StatusCase{0x01, false},
                                           StatusCase{0xFD, false}));

TEST(Replies, CommandWithReplyFlagIsTheRequestsCommand) {
    EXPECT_EQ(ReplyCommand(SealedFrame(0xFE, 0xCA, {})), CMD_STATUS);
    EXPECT_EQ(ReplyCommand(SealedFrame(0xFE, 0x4A, {})), CMD_STATUS);
}

TEST(Replies, FirmwareIdentityFields) {
    const auto reply = DecodeFirmwareIdentityReply(
        SealedFrame(0xFE, 0x6C, {0x03, 0x00, 0x06, 0x00, 0x05, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->deviceType, 3);
    EXPECT_EQ(reply->version, 6);
    EXPECT_EQ(reply->reprogrammings, 5U);
}

TEST(Replies, InfoTextIsCutToItsLength) {
    const Bytes date{'J', 'u', 'n', ' ', '2', '0', ' ', '2', '0', '1', '1', 'x', 'y'};
    EXPECT_EQ(DecodeInfoText(SealedFrame(0xFE, 0x6C, date), kBuildDateTextLength), "Jun 20 2011");
}

TEST(Replies, SwitchAcknowledgementNeedsExactlyOneByte) {
    EXPECT_EQ(DecodeSwitchAcknowledgement(SealedFrame(0xFE, 0x6D, {0x5A})), 0x5A);
    EXPECT_FALSE(DecodeSwitchAcknowledgement(SealedFrame(0xFE, 0x6D, {0x5A, 0x00})));
    EXPECT_FALSE(DecodeSwitchAcknowledgement(SealedFrame(0xFE, 0x6D, {})));
}

TEST(Replies, FinalQueryValues) {
    const auto held =
        DecodeFinalQueryReply(SealedFrame(0x00, 0x6D, {10, 0, 0, 0x34, 0x12, 0xFF, 0x8B}));
    ASSERT_TRUE(held);
    EXPECT_EQ(held->checksum, 0x1234);
    EXPECT_EQ(held->endValue, 0x8BFF);
}

// Short replies: nothing is read beyond what the reply carries, so stale
// bytes of an earlier, longer frame can never be taken for its fields.
TEST(ShortReplies, DecodeToNothingOrToFewerBytes) {
    const Bytes empty = SealedFrame(0xFE, 0x6C, {});
    EXPECT_FALSE(DecodeIdentifyReply(SealedFrame(0xFE, 0x46, {3, 11, 7, 0x39})));
    EXPECT_FALSE(DecodeStatusReply(empty));
    EXPECT_FALSE(DecodeFirmwareIdentityReply(SealedFrame(0xFE, 0x6C, {3, 0, 6, 0, 5, 0, 0})));
    EXPECT_EQ(DecodeInfoText(SealedFrame(0xFE, 0x6C, {'J', 'u', 'n'}), 11), "Jun");
    EXPECT_EQ(DecodeInfoText(empty, 8), "");
    EXPECT_FALSE(DecodeLoaderOperation(empty));
    EXPECT_EQ(DecodeReadBackBlock(SealedFrame(0x00, 0x6D, {10, 0, 0, 1, 2})).size(), 2U);
    EXPECT_FALSE(DecodeFinalQueryReply(SealedFrame(0x00, 0x6D, {10, 0, 0, 1, 2, 3})));
}

TEST(ShortReplies, PayloadNeverRunsPastTheFrame) {
    // A length byte that claims more than the frame handed over holds.
    const Bytes lying{0xFE, 0x46, 200, 3, 11, 0, 0};
    EXPECT_EQ(ReplyPayload(lying).size(), 2U);
    EXPECT_TRUE(ReplyPayload(Bytes{0xFE, 0x46}).empty());
}

}  // namespace
