// The rules that keep a late or doubled reply from being taken for the
// answer to a later request, and the wait before a request is repeated.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

constexpr std::uint32_t kTickMs = 50;
constexpr std::array<std::uint32_t, 6> kRates = {4800, 9600, 19200, 38400, 57600, 115200};

Bytes LoaderRequest(std::uint8_t operation, std::uint16_t address, std::uint8_t length) {
    Bytes frame(kFrameBufferSize);
    WriteLoaderHeader(frame.data(), 0x00, CMD_LOADER, length, kAccessCode, operation, address);
    frame.resize(kFrameHeaderSize + length);
    return frame;
}

// The bootloader's answer: operation and address echoed, then `extra` bytes.
Bytes LoaderReply(std::uint8_t operation, std::uint16_t address, std::size_t extra = 0) {
    Bytes payload = {operation, static_cast<std::uint8_t>(address & 0xFF),
                     static_cast<std::uint8_t>(address >> 8)};
    payload.resize(payload.size() + extra, 0x5A);
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

TEST(LoaderReplies, EachRequestTakesItsOwnReplyAndNotALateCopyOfThePrevious) {
    for (std::size_t i = 1; i < kPass.size(); ++i) {
        const LoaderStep& now = kPass[i];
        const LoaderStep& before = kPass[i - 1];
        const Bytes request = LoaderRequest(now.operation, now.address, now.requestLength);
        SCOPED_TRACE(i);
        EXPECT_TRUE(
            AnswersLoaderRequest(request, LoaderReply(now.operation, now.address, now.replyExtra)));
        EXPECT_FALSE(AnswersLoaderRequest(
            request, LoaderReply(before.operation, before.address, before.replyExtra)));
    }
}

TEST(LoaderReplies, SameOperationAtAnotherAddressOrWithoutTheEchoIsNotTheAnswer) {
    const Bytes readBack = LoaderRequest(BL_READ_BACK, 0x0180, 9);
    EXPECT_FALSE(AnswersLoaderRequest(readBack, LoaderReply(BL_READ_BACK, 0x0100, 128)));
    EXPECT_FALSE(AnswersLoaderRequest(readBack, LoaderReply(BL_READ_BACK, 0x8001, 128)));
    const std::uint8_t operationOnly[] = {BL_READ_BACK};
    EXPECT_FALSE(
        AnswersLoaderRequest(readBack, testsupport::Sealed(Reply(CMD_LOADER, operationOnly))));
    EXPECT_FALSE(AnswersLoaderRequest(readBack, testsupport::Sealed(Reply(CMD_LOADER, {}))));
}

TEST(LoaderReplies, TheSwitchIsAnsweredOnlyByItsOneByteAcknowledgement) {
    const RequestBytes toLoader = BuildSwitchRequest(kAccessCode);
    const std::uint8_t signature[] = {kAccessCode[0]};
    EXPECT_TRUE(AnswersLoaderRequest(toLoader, testsupport::Sealed(Reply(CMD_LOADER, signature))));
    // A late bootloader reply is no acknowledgement, whatever it echoes.
    EXPECT_FALSE(AnswersLoaderRequest(toLoader, LoaderReply(BL_SWITCH, 0)));
    EXPECT_FALSE(AnswersLoaderRequest(toLoader, LoaderReply(BL_READ_BACK, kFinalQueryAddress, 4)));
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
    filter.Taken(date, 2);  // sent twice: up to three more copies may come
    EXPECT_TRUE(filter.IsLateCopy(date));
    EXPECT_FALSE(filter.IsLateCopy(time));
    filter.Taken(time, 1);  // one more copy of it
    EXPECT_TRUE(filter.IsLateCopy(time));
    EXPECT_TRUE(filter.IsLateCopy(date));
    EXPECT_FALSE(filter.IsLateCopy(identity));
}

TEST(InformationReplies, AnInstrumentThatAnswersTwoStepsAlikeIsNotStalled) {
    InfoReplyFilter filter;
    const auto same = Text("Jun 20 2010");
    filter.Taken(same, 1);
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

TEST(RepeatTiming, ARepeatWaitsTheWholeExchangeAndTheMarginOnTheTickGridAndNoLonger) {
    for (const std::uint32_t rate : kRates) {
        for (const ExchangeCase& c : Exchanges()) {
            double exchangeMs =
                static_cast<double>(c.request.size() + kFrameCrcSize + c.replyLength) * 10 *
                    1000.0 / rate +
                kRepeatMarginMs;
            if (std::string(c.name) == "switch") {
                exchangeMs = std::max(exchangeMs, double{kSwitchRepeatMs});
            }
            const std::uint32_t ticks = RepeatIntervalTicks(c.request, rate, kTickMs);
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(rate));
            EXPECT_GE(ticks, 1u);
            EXPECT_GE(ticks * kTickMs, exchangeMs);
            if (ticks > 1) {
                EXPECT_LT((ticks - 1) * kTickMs, exchangeMs);
            }
        }
    }
}

TEST(RepeatTiming, TheLongestExchangesAtTheBootloadersRateWaitTwoTicks) {
    // 142 + 8 bytes and 14 + 136 bytes: 39 ms on the wire, 69 ms with the margin.
    EXPECT_EQ(RepeatIntervalTicks(LoaderRequest(BL_LOAD_HALF, 0, 137), 38400, kTickMs), 2u);
    EXPECT_EQ(RepeatIntervalTicks(LoaderRequest(BL_READ_BACK, 0, 9), 38400, kTickMs), 2u);
    // The status at 38400 baud still repeats on every tick, as before.
    EXPECT_EQ(RepeatIntervalTicks(BuildStatusRequest(), 38400, kTickMs), 1u);
    // A second switch must not reach a bootloader that the first one started.
    EXPECT_EQ(RepeatIntervalTicks(BuildSwitchRequest(kAccessCode), 38400, kTickMs), 10u);
}

}  // namespace
}  // namespace updatetest
