// The rules that keep a late or doubled reply from being taken for the
// answer to a later request, with bootloaders that echo the address and
// with ones that do not, and the wait before a request is repeated.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "AccessCode.h"
#include "CommandSet.h"
#include "LinkFrame.h"
#include "RepeatTiming.h"
#include "ReplyMatching.h"
#include "SealedFrame.h"
#include "UpdateHarness.h"

namespace updatetest {
namespace {

constexpr std::int64_t kTickMs = 50;  // the default pace's period
constexpr std::array<std::uint32_t, 6> kRates = {4800, 9600, 19200, 38400, 57600, 115200};

Bytes LoaderRequest(std::uint8_t operation, std::uint16_t address, std::uint8_t length) {
    Bytes frame(kFrameBufferSize);
    WriteLoaderHeader(frame.data(), 0x00, CMD_LOADER, length, kAccessCode, operation, address);
    frame.resize(kFrameHeaderSize + length);
    return frame;
}

// The bootloader's answer: the operation, then `address` in bytes 1-2 (an
// echo, or whatever the bootloader holds there), then `extra` bytes.
Bytes LoaderReply(std::uint8_t operation, std::uint16_t address, std::size_t extra = 0,
                  std::uint8_t fill = 0x5A) {
    Bytes payload = {operation, static_cast<std::uint8_t>(address & 0xFF),
                     static_cast<std::uint8_t>(address >> 8)};
    payload.resize(payload.size() + extra, fill);
    return testsupport::Sealed(
        Reply(static_cast<std::uint8_t>(CMD_LOADER | kReplyFlagBit), payload));
}

struct LoaderStep {
    std::uint8_t operation;
    std::uint16_t address;
    std::uint8_t requestLength;
    std::size_t replyExtra;
};

// The requests of a write and verify pass over two pages, in order.
const std::vector<LoaderStep> kPass = {
    {BL_LOAD_HALF, 0, 137, 0},   {BL_LOAD_HALF, 128, 137, 0},
    {BL_PROGRAM_PAGE, 0, 9, 0},  {BL_LOAD_HALF, 0, 137, 0},
    {BL_LOAD_HALF, 128, 137, 0}, {BL_PROGRAM_PAGE, 256, 9, 0},
    {BL_FINISH, 0, 13, 0},       {BL_READ_BACK, 0, 9, 128},
    {BL_READ_BACK, 128, 9, 128}, {BL_READ_BACK, 256, 9, 128},
    {BL_READ_BACK, 384, 9, 128}, {BL_READ_BACK, kFinalQueryAddress, 9, 4},
    {BL_LOAD_HALF, 0, 137, 0},  // a new pass after a failed verification
};

Bytes RequestOf(const LoaderStep& step) {
    return LoaderRequest(step.operation, step.address, step.requestLength);
}

TEST(EchoingBootloader, EachRequestTakesItsOwnReplyAndNeverALateCopyOfThePrevious) {
    LoaderReplyMatcher matcher;
    for (std::size_t i = 1; i < kPass.size(); ++i) {
        const LoaderStep& now = kPass[i];
        const LoaderStep& before = kPass[i - 1];
        const Bytes request = RequestOf(now);
        SCOPED_TRACE(i);
        // A copy of the previous reply, while one may still come, is
        // passed over and teaches nothing.
        EXPECT_FALSE(matcher.Answers(
            request, LoaderReply(before.operation, before.address, before.replyExtra), true));
        EXPECT_TRUE(matcher.AssumesEcho());
        EXPECT_TRUE(matcher.Answers(request,
                                    LoaderReply(now.operation, now.address, now.replyExtra), true));
    }
}

TEST(EchoingBootloader, AReplyWithAnotherOperationOrNoneIsNeverTheAnswer) {
    LoaderReplyMatcher matcher;
    const Bytes readBack = LoaderRequest(BL_READ_BACK, 0x0180, 9);
    EXPECT_FALSE(matcher.Answers(readBack, LoaderReply(BL_LOAD_HALF, 0x0180, 128), false));
    EXPECT_FALSE(matcher.Answers(readBack, testsupport::Sealed(Reply(CMD_LOADER, {})), false));
    EXPECT_TRUE(matcher.AssumesEcho());
}

TEST(NonEchoingBootloader, TheCoincidenceOfTheFirstFramesAndAnEarlierAddressProveNothing) {
    // A bootloader that always holds 0: the first half at offset 0 matches
    // by coincidence; the second half's reply carries the first's address,
    // and while a copy of the first reply may still come it is passed over.
    LoaderReplyMatcher matcher;
    const Bytes firstHalf = LoaderRequest(BL_LOAD_HALF, 0, 137);
    const Bytes secondHalf = LoaderRequest(BL_LOAD_HALF, 128, 137);
    EXPECT_TRUE(matcher.Answers(firstHalf, LoaderReply(BL_LOAD_HALF, 0), false));
    matcher.Taken(LoaderReply(BL_LOAD_HALF, 0));
    matcher.NextRequest(BL_LOAD_HALF, 1);  // sent once: its answer may come doubled
    EXPECT_FALSE(matcher.Answers(secondHalf, LoaderReply(BL_LOAD_HALF, 0), true));
    EXPECT_TRUE(matcher.AssumesEcho());
    // Once no copy can still be on the way, the same reply is the evidence.
    EXPECT_TRUE(matcher.Answers(secondHalf, LoaderReply(BL_LOAD_HALF, 0), false));
    EXPECT_FALSE(matcher.AssumesEcho());
}

TEST(EchoingBootloader, LateRepliesToARepeatedRequestTeachNothingAsLongAsTheyCouldCome) {
    // The first half went out twice: up to three more replies to it may
    // come, later than any window.
    LoaderReplyMatcher matcher;
    matcher.NextRequest(BL_LOAD_HALF, 2);
    const Bytes secondHalf = LoaderRequest(BL_LOAD_HALF, 128, 137);
    for (int copy = 0; copy < 3; ++copy) {
        EXPECT_FALSE(matcher.Answers(secondHalf, LoaderReply(BL_LOAD_HALF, 0), false)) << copy;
    }
    EXPECT_TRUE(matcher.AssumesEcho());
    EXPECT_TRUE(matcher.Answers(secondHalf, LoaderReply(BL_LOAD_HALF, 128), false));
    // A fourth could not be a copy: this bootloader holds 0 there.
    EXPECT_TRUE(matcher.Answers(secondHalf, LoaderReply(BL_LOAD_HALF, 0), false));
    EXPECT_FALSE(matcher.AssumesEcho());
}

TEST(NonEchoingBootloader, SwitchesWhoseAcknowledgementWasLostOweNothingToTheImagesFrames) {
    // Fifteen switches went unanswered before the bootloader ran: their
    // acknowledgements name no operation of the image, so the first reply
    // with another address, once no copy of a reply of its own operation
    // can come, is the evidence. Held writes made each repeat cost 375 ms,
    // and passing over one reply per lost switch outlasted the watchdog.
    LoaderReplyMatcher matcher;
    for (int lost = 0; lost < 15; ++lost) {
        matcher.NextRequest(BL_SWITCH, 1);
        matcher.NextRequest(std::nullopt, 1);  // the status asked after it
    }
    const Bytes firstHalf = LoaderRequest(BL_LOAD_HALF, 0, 137);
    EXPECT_TRUE(matcher.Answers(firstHalf, LoaderReply(BL_LOAD_HALF, 0x1628), false));
    EXPECT_FALSE(matcher.AssumesEcho());
}

TEST(NonEchoingBootloader, ThenRepliesMatchByOperationAndAnIdenticalCopyWaitsOutItsWindow) {
    LoaderReplyMatcher matcher;
    const Bytes programPage = LoaderRequest(BL_PROGRAM_PAGE, 0x0100, 9);
    // Random bytes 1-2: the very first reply is the evidence.
    EXPECT_TRUE(matcher.Answers(programPage, LoaderReply(BL_PROGRAM_PAGE, 0x3C5A), false));
    EXPECT_FALSE(matcher.AssumesEcho());
    matcher.Taken(LoaderReply(BL_PROGRAM_PAGE, 0x3C5A));

    const Bytes readBack = LoaderRequest(BL_READ_BACK, 0x0080, 9);
    EXPECT_FALSE(matcher.Answers(readBack, LoaderReply(BL_PROGRAM_PAGE, 0x0080), false))
        << "another operation is never the answer";
    const Bytes block = LoaderReply(BL_READ_BACK, 0, 128, 0xFF);
    EXPECT_TRUE(matcher.Answers(readBack, block, true));
    matcher.Taken(block);
    // While a copy of the last reply may still come, a reply of the same
    // operation may be it, whatever its data (a repeated request's second
    // answer is read afresh): it is passed over; afterwards it is taken.
    const Bytes nextBlock = LoaderRequest(BL_READ_BACK, 0x0100, 9);
    EXPECT_FALSE(matcher.Answers(nextBlock, block, true));
    EXPECT_FALSE(matcher.Answers(nextBlock, LoaderReply(BL_READ_BACK, 0, 128, 0x00), true));
    EXPECT_TRUE(matcher.Answers(nextBlock, block, false));
}

TEST(NonEchoingBootloader, OnlyTheSameOperationMayDrawAReplyLikeTheLast) {
    LoaderReplyMatcher matcher;
    const Bytes firstHalf = LoaderRequest(BL_LOAD_HALF, 0, 137);
    const Bytes secondHalf = LoaderRequest(BL_LOAD_HALF, 0x0080, 137);
    // While the bootloader is taken to echo the address, no two replies look alike.
    EXPECT_TRUE(matcher.Answers(firstHalf, LoaderReply(BL_LOAD_HALF, 0), false));
    matcher.Taken(LoaderReply(BL_LOAD_HALF, 0));
    EXPECT_FALSE(matcher.MayAnswerAlike(secondHalf));
    // Learned: zeros there. The second half is answered as the first was.
    EXPECT_TRUE(matcher.Answers(secondHalf, LoaderReply(BL_LOAD_HALF, 0), false));
    ASSERT_FALSE(matcher.AssumesEcho());
    matcher.Taken(LoaderReply(BL_LOAD_HALF, 0));
    EXPECT_TRUE(matcher.MayAnswerAlike(LoaderRequest(BL_LOAD_HALF, 0x0200, 137)));
    EXPECT_FALSE(matcher.MayAnswerAlike(LoaderRequest(BL_PROGRAM_PAGE, 0x0100, 9)));
    // A block read back names no address either: its reply cannot be told
    // from a late copy of the block before it.
    matcher.Taken(LoaderReply(BL_READ_BACK, 0, 128, 0xFF));
    EXPECT_TRUE(matcher.MayAnswerAlike(LoaderRequest(BL_READ_BACK, 0x0080, 9)));
    EXPECT_FALSE(matcher.MayAnswerAlike(LoaderRequest(BL_LOAD_HALF, 0x0080, 137)));
}

TEST(LoaderReplies, TheSwitchIsAnsweredOnlyByItsOneByteAcknowledgement) {
    LoaderReplyMatcher matcher;
    const RequestBytes toLoader = BuildSwitchRequest(kAccessCode);
    const std::uint8_t signature[] = {kAccessCode[0]};
    EXPECT_TRUE(matcher.Answers(toLoader, testsupport::Sealed(Reply(CMD_LOADER, signature)), true));
    // A late bootloader reply is no acknowledgement, whatever it echoes.
    EXPECT_FALSE(matcher.Answers(toLoader, LoaderReply(BL_SWITCH, 0), false));
    EXPECT_FALSE(
        matcher.Answers(toLoader, LoaderReply(BL_READ_BACK, kFinalQueryAddress, 4), false));
    EXPECT_TRUE(matcher.AssumesEcho());
}

std::vector<std::uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(InformationReplies, LateCopiesOfEarlierStepsArePassedOverAsOftenAsTheyCouldCome) {
    InfoReplyFilter filter;
    const auto date = Text("Jun 20 2010");
    const auto time = Text("09:15:48");
    const std::vector<std::uint8_t> identity = {3, 0, 6, 0, 1, 0, 0, 0};

    EXPECT_FALSE(filter.IsLateCopy(date));
    filter.Sent();
    filter.Sent();
    filter.Taken(date);  // sent twice: up to three more copies may come
    EXPECT_TRUE(filter.IsLateCopy(date));
    EXPECT_FALSE(filter.IsLateCopy(time));
    filter.Sent();
    filter.Taken(time);  // one more copy of it
    EXPECT_TRUE(filter.IsLateCopy(time));
    EXPECT_TRUE(filter.IsLateCopy(date));
    EXPECT_FALSE(filter.IsLateCopy(identity));
}

TEST(InformationReplies, SendsOfAStepAskedAgainAfterADetourStillCount) {
    // The date asked six times, then the status, then the date once more:
    // all seven sends may still draw copies when the time is asked.
    InfoReplyFilter filter;
    const auto date = Text("Jun 20 2010");
    for (int send = 0; send < 7; ++send) {
        filter.Sent();
    }
    filter.Taken(date);
    for (int copy = 0; copy < 13; ++copy) {
        EXPECT_TRUE(filter.IsLateCopy(date)) << copy;
    }
    EXPECT_FALSE(filter.IsLateCopy(date));
}

TEST(InformationReplies, AnInstrumentThatAnswersTwoStepsAlikeIsNotStalled) {
    InfoReplyFilter filter;
    const auto same = Text("Jun 20 2010");
    filter.Sent();
    filter.Taken(same);
    EXPECT_TRUE(filter.IsLateCopy(same));  // the one copy a single send can draw
    EXPECT_FALSE(filter.IsLateCopy(same));
}

struct ExchangeCase {
    const char* name;
    Bytes request;
    std::uint32_t replyLength;
};

std::vector<ExchangeCase> Exchanges() {
    return {
        {"identify", BuildIdentifyRequest(), 10},
        {"status", BuildStatusRequest(), 6},
        {"date", BuildInfoRequest(kInfoStepDate), 16},
        {"time", BuildInfoRequest(kInfoStepTime), 13},
        {"identity", BuildInfoRequest(kInfoStepIdentity), 13},
        {"switch", BuildSwitchRequest(kAccessCode), 6},
        {"load half", LoaderRequest(BL_LOAD_HALF, 128, 137), 8},
        {"program page", LoaderRequest(BL_PROGRAM_PAGE, 256, 9), 8},
        {"finish", LoaderRequest(BL_FINISH, 0, 13), 8},
        {"read back", LoaderRequest(BL_READ_BACK, 128, 9), 136},
        {"final query", LoaderRequest(BL_READ_BACK, kFinalQueryAddress, 9), 12},
    };
}

TEST(RepeatTiming, EveryRequestKnowsTheLengthOfItsReply) {
    for (const ExchangeCase& c : Exchanges()) {
        EXPECT_EQ(ExpectedReplyLength(c.request), c.replyLength) << c.name;
    }
}

TEST(RepeatTiming, ARepeatWaitsTheWholeExchangeAndTheMarginInWholePeriodsAndNoLonger) {
    for (const std::uint32_t rate : kRates) {
        for (const ExchangeCase& c : Exchanges()) {
            double exchangeMs =
                static_cast<double>(c.request.size() + kFrameCrcSize + c.replyLength) * 10 *
                    1000.0 / rate +
                kReplyTransitMs;
            if (std::string(c.name) == "switch") {
                exchangeMs = std::max(exchangeMs, double{kSwitchRepeatMs});
            }
            const auto intervalMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(RepeatInterval(c.request, rate))
                    .count();
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(rate));
            EXPECT_EQ(intervalMs % kTickMs, 0);
            EXPECT_GE(intervalMs, kTickMs);
            EXPECT_GE(intervalMs, exchangeMs);
            if (intervalMs > kTickMs) {
                EXPECT_LT(intervalMs - kTickMs, exchangeMs);
            }
        }
    }
}

TEST(RepeatTiming, TheLongestExchangesAtTheBootloadersRateWaitTwoPeriods) {
    using std::chrono::milliseconds;
    // 142 + 8 bytes and 14 + 136 bytes: 39 ms on the wire, 69 ms with the margin.
    EXPECT_EQ(RepeatInterval(LoaderRequest(BL_LOAD_HALF, 0, 137), 38400), milliseconds(100));
    EXPECT_EQ(RepeatInterval(LoaderRequest(BL_READ_BACK, 0, 9), 38400), milliseconds(100));
    // The status at 38400 baud repeats at the default pace.
    EXPECT_EQ(RepeatInterval(BuildStatusRequest(), 38400), kDefaultSendSpacing);
    // A second switch must not reach a bootloader that the first one started.
    EXPECT_EQ(RepeatInterval(BuildSwitchRequest(kAccessCode), 38400), milliseconds(kSwitchRepeatMs));
    // A port whose rate is unknown repeats at the default pace.
    EXPECT_EQ(RepeatInterval(BuildStatusRequest(), 0), kDefaultSendSpacing);
}

}  // namespace
}  // namespace updatetest
