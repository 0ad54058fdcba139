#include "FirmwareImage.h"

#include <gtest/gtest.h>

#include "AccessCode.h"
#include "Crc16.h"
#include "ImageTestSupport.h"
#include "LinkFrame.h"
#include "MessageBox.h"
#include "Resources.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t PaddedChecksum(std::span<const std::uint8_t> image, std::size_t count) {
    Bytes padded(count, 0xFF);
    std::copy_n(image.begin(), std::min(count, image.size()), padded.begin());
    return ComputeCrc16(padded.data(), padded.size());
}

// A reply with the given payload, as the reassembler hands it over.
Bytes Reply(const Bytes& payload) {
    Bytes frame(kFrameOverhead + payload.size());
    frame[kFrameCommandIndex] = CMD_LOADER;
    frame[kFrameLengthIndex] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + kFramePayloadIndex);
    SealFrame(frame.data());
    return frame;
}

class Image : public ::testing::Test {
protected:
    void Load(std::size_t size) {
        bytes = MakeImage(size);
        ASSERT_TRUE(image.LoadFromBytes(bytes));
    }

    MessageBoxOperator operatorStandIn;
    CFirmwareImage image{kAccessCodeLow, kAccessCodeHigh, CMD_LOADER};
    InMemoryBootloader bootloader{kAccessCode};
    Bytes bytes;
};

TEST_F(Image, EmbeddedImageHeaderAndSizes) {
    ASSERT_TRUE(image.LoadFromResource());
    EXPECT_EQ(image.GetVersion(), 6);
    EXPECT_EQ(image.GetBuildDateText(), "20/06/2011");
    EXPECT_EQ(image.GetEndValue(), 35839U);
    EXPECT_TRUE(operatorStandIn.Shown().empty());
}

TEST_F(Image, EmbeddedImageWritePassAndVerifyPass) {
    ASSERT_TRUE(image.LoadFromResource());
    const auto embedded = FindModuleResource("BIN", 154);
    ASSERT_EQ(embedded.size(), 35698U);

    const PassOutcome written = RunWritePass(image, bootloader);
    EXPECT_EQ(written.result, IMAGE_WRITE_COMPLETE);
    EXPECT_EQ(written.frames, 421);  // 140 pages of three frames, then the finish
    const auto finish = image.GetFrame();
    ASSERT_EQ(finish.size(), 16U);
    const std::uint16_t checksum = PaddedChecksum(embedded, 35839);
    EXPECT_EQ(finish[12], checksum & 0xFF);
    EXPECT_EQ(finish[13], checksum >> 8);
    EXPECT_EQ(finish[14], 0xFF);
    EXPECT_EQ(finish[15], 0x8B);

    bootloader.requests.clear();
    const PassOutcome verified = RunVerifyPass(image, bootloader);
    EXPECT_EQ(verified.result, IMAGE_VERIFY_PASSED);
    EXPECT_EQ(verified.frames, 281);  // 280 blocks, then the final query
    ASSERT_EQ(bootloader.requests.size(), 281U);
    EXPECT_EQ(bootloader.requests.back().address, kFinalQueryAddress);
    EXPECT_EQ(bootloader.requests[279].address, 279 * 128);
    EXPECT_TRUE(std::equal(embedded.begin(), embedded.end(), bootloader.Flash().begin()));
}

TEST_F(Image, WriteFramesFollowTheBootloaderLayout) {
    Load(512);
    ASSERT_EQ(image.BeginWrite(), IMAGE_FRAME_READY);
    const auto first = image.GetFrame();
    ASSERT_EQ(first.size(), 140U);  // N = 137
    EXPECT_EQ(first[0], 0x00);
    EXPECT_EQ(first[1], CMD_LOADER);
    EXPECT_EQ(first[2], 137);
    EXPECT_TRUE(std::equal(kAccessCode.begin(), kAccessCode.end(), first.begin() + 3));
    EXPECT_EQ(first[9], BL_LOAD_HALF);
    EXPECT_EQ(first[10], 0);
    EXPECT_EQ(first[11], 0);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 128, first.begin() + 12));
    EXPECT_EQ(image.GetPosition(), 128U);
}

// S = 512: E = 767, three pages (the third all 0xFF), the finish; then six
// blocks and the final query.
TEST_F(Image, ThreePagesForFiveHundredTwelveBytes) {
    Load(512);
    EXPECT_EQ(image.GetEndValue(), 767U);
    const PassOutcome written = RunWritePass(image, bootloader);
    EXPECT_EQ(written.result, IMAGE_WRITE_COMPLETE);
    ASSERT_EQ(bootloader.requests.size(), 10U);
    const std::vector<std::pair<std::uint8_t, std::uint16_t>> expected = {
        {3, 0}, {3, 128}, {4, 0}, {3, 0}, {3, 128}, {4, 256}, {3, 0}, {3, 128}, {4, 512}, {14, 0}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(bootloader.requests[i].operation, expected[i].first) << i;
        EXPECT_EQ(bootloader.requests[i].address, expected[i].second) << i;
    }
    const auto flash = bootloader.Flash();
    EXPECT_TRUE(std::all_of(flash.begin() + 512, flash.begin() + 768,
                            [](std::uint8_t b) { return b == 0xFF; }));
    const auto finish = image.GetFrame();
    const std::uint16_t checksum = PaddedChecksum(bytes, 767);
    EXPECT_EQ(finish[12] | finish[13] << 8, checksum);
    EXPECT_EQ(finish[14] | finish[15] << 8, 767);

    bootloader.requests.clear();
    EXPECT_EQ(RunVerifyPass(image, bootloader).result, IMAGE_VERIFY_PASSED);
    ASSERT_EQ(bootloader.requests.size(), 7U);
    for (std::uint16_t block = 0; block < 6; ++block) {
        EXPECT_EQ(bootloader.requests[block].address, block * 128);
    }
    EXPECT_EQ(bootloader.requests[6].address, kFinalQueryAddress);
}

// An image whose size is a multiple of 256 gets one whole extra page of 0xFF.
TEST_F(Image, WholePageSizeWritesAnExtraErasedPage) {
    Load(768);
    EXPECT_EQ(image.GetEndValue(), 1023U);
    EXPECT_EQ(RunWritePass(image, bootloader).frames, 4 * 3 + 1);
}

TEST_F(Image, FinishIsRepeatedForLateWriteReplies) {
    Load(300);
    RunWritePass(image, bootloader);
    const Bytes finish(image.GetFrame().begin(), image.GetFrame().end());
    EXPECT_EQ(image.OnReply(Reply({BL_PROGRAM_PAGE, 0, 0})), IMAGE_FRAME_READY);
    EXPECT_EQ(Bytes(image.GetFrame().begin(), image.GetFrame().end()), finish);
    EXPECT_EQ(image.OnReply(Reply({BL_LOAD_HALF, 0, 0})), IMAGE_FRAME_READY);
    EXPECT_EQ(Bytes(image.GetFrame().begin(), image.GetFrame().end()), finish);
}

TEST_F(Image, ProgressPositionsOfTheFirstReplies) {
    ASSERT_TRUE(image.LoadFromResource());
    image.BeginWrite();
    image.OnReply(bootloader.Answer(image.GetFrame()));
    EXPECT_EQ(image.GetPosition(), 256U);
    image.BeginVerify();
    image.OnReply(bootloader.Answer(image.GetFrame()));
    EXPECT_EQ(image.GetPosition(), 128U);
}

// --- Failed verification. ---

class CorruptedFlash : public Image, public ::testing::WithParamInterface<int> {};

TEST_P(CorruptedFlash, SingleDifferingByteStillRunsToTheFinalQuery) {
    Load(1000);
    RunWritePass(image, bootloader);
    bootloader.Flash()[static_cast<std::size_t>(GetParam())] ^= 0x01;
    bootloader.requests.clear();
    const PassOutcome verified = RunVerifyPass(image, bootloader);
    EXPECT_EQ(verified.result, IMAGE_VERIFY_FAILED);
    EXPECT_EQ(verified.frames, 9);  // eight blocks and the final query
    EXPECT_EQ(bootloader.requests.back().address, kFinalQueryAddress);
}

// The first byte, one in the middle, the last image byte, the padding, E.
INSTANTIATE_TEST_SUITE_P(Offsets, CorruptedFlash, ::testing::Values(0, 500, 999, 1000, 1023));

TEST_F(Image, NewVerifyPassStartsClean) {
    Load(1000);
    RunWritePass(image, bootloader);
    bootloader.Flash()[7] ^= 0x80;
    EXPECT_EQ(RunVerifyPass(image, bootloader).result, IMAGE_VERIFY_FAILED);
    RunWritePass(image, bootloader);
    EXPECT_EQ(RunVerifyPass(image, bootloader).result, IMAGE_VERIFY_PASSED);
}

struct FinalQueryCase {
    int checksumDelta;
    int endValueDelta;
    std::uint8_t result;
};

class FinalQuery : public Image, public ::testing::WithParamInterface<FinalQueryCase> {};

TEST_P(FinalQuery, ChecksumAndEndValueMustBothMatch) {
    Load(512);
    RunWritePass(image, bootloader);
    const std::uint16_t checksum =
        static_cast<std::uint16_t>(PaddedChecksum(bytes, 767) + GetParam().checksumDelta);
    const std::uint16_t endValue = static_cast<std::uint16_t>(767 + GetParam().endValueDelta);
    image.BeginVerify();
    while (image.GetPosition() <= image.GetEndValue()) {
        ASSERT_EQ(image.OnReply(bootloader.Answer(image.GetFrame())), IMAGE_FRAME_READY);
    }
    EXPECT_EQ(image.OnReply(Reply({BL_READ_BACK, 0, 0, static_cast<std::uint8_t>(checksum),
                                   static_cast<std::uint8_t>(checksum >> 8),
                                   static_cast<std::uint8_t>(endValue),
                                   static_cast<std::uint8_t>(endValue >> 8)})),
              GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Cases, FinalQuery,
                         ::testing::Values(FinalQueryCase{0, 0, IMAGE_VERIFY_PASSED},
                                           FinalQueryCase{0, 1, IMAGE_VERIFY_FAILED},
                                           FinalQueryCase{1, 0, IMAGE_VERIFY_FAILED},
                                           FinalQueryCase{0, 256, IMAGE_VERIFY_FAILED}));

// --- Replies that do not fit, and short replies. ---

TEST_F(Image, RepliesOutOfPlace) {
    Load(512);
    EXPECT_EQ(image.OnReply(Reply({BL_LOAD_HALF, 0, 0})), IMAGE_OUT_OF_PLACE) << "no pass yet";
    image.BeginWrite();
    EXPECT_EQ(image.OnReply(Reply({BL_READ_BACK, 0, 0})), IMAGE_OUT_OF_PLACE);
    EXPECT_EQ(image.OnReply(Reply({BL_SWITCH, 0, 0})), IMAGE_OUT_OF_PLACE);
    EXPECT_EQ(image.OnReply(Reply({})), IMAGE_OUT_OF_PLACE);
    EXPECT_EQ(image.OnReply(Reply({BL_FINISH})), IMAGE_WRITE_COMPLETE);
    image.BeginVerify();
    EXPECT_EQ(image.OnReply(Reply({BL_PROGRAM_PAGE, 0, 0})), IMAGE_OUT_OF_PLACE);
}

TEST(ImageWithoutData, PassesDoNotStart) {
    CFirmwareImage image(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    EXPECT_EQ(image.BeginWrite(), IMAGE_OUT_OF_PLACE);
    EXPECT_EQ(image.BeginVerify(), IMAGE_OUT_OF_PLACE);
    EXPECT_EQ(image.GetBuildDateText(), "01/01/2000");
}

// A short read-back reply did not bring the block back: the pass goes on
// and fails, and no byte beyond the reply is compared.
TEST_F(Image, ShortReadBackReplyFailsTheVerification) {
    Load(512);
    RunWritePass(image, bootloader);
    image.BeginVerify();
    Bytes partial(bootloader.Answer(image.GetFrame()));
    Bytes payload(partial.begin() + 3, partial.begin() + 3 + 3 + 100);
    EXPECT_EQ(image.OnReply(Reply(payload)), IMAGE_FRAME_READY);
    EXPECT_EQ(image.GetPosition(), 128U);
    PassOutcome rest = RunPass(image, bootloader, [] { return IMAGE_FRAME_READY; });
    EXPECT_EQ(rest.result, IMAGE_VERIFY_FAILED);
}

TEST_F(Image, ShortFinalQueryReplyFails) {
    Load(200);
    RunWritePass(image, bootloader);
    image.BeginVerify();
    while (image.GetPosition() <= image.GetEndValue()) {
        image.OnReply(bootloader.Answer(image.GetFrame()));
    }
    EXPECT_EQ(image.OnReply(Reply({BL_READ_BACK, 0, 0, 1, 2, 3})), IMAGE_VERIFY_FAILED);
}

TEST_F(Image, AccessCodeFromTheTwoIntegers) {
    CFirmwareImage other(0x11223344, 0xAABB, 0x6D);
    const Bytes small = MakeImage(300);
    ASSERT_TRUE(other.LoadFromBytes(small));
    other.BeginVerify();
    const auto frame = other.GetFrame();
    EXPECT_EQ(Bytes(frame.begin() + 3, frame.begin() + 9),
              (Bytes{0xAA, 0xBB, 0x11, 0x22, 0x33, 0x44}));
}

}  // namespace
