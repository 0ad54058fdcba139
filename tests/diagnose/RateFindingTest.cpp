// What came back at one rate, told from recorded lines: silence, bytes that
// never form a frame, our own requests, another device, the Зирон-7, and
// how late and in how many pieces the replies came.
#include "RateFinding.h"

#include <gtest/gtest.h>

#include "SealedFrame.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testsupport::Sealed;

constexpr std::int32_t kRate = 9600;
const Bytes kIdentify = Sealed({0xFE, 0x46, 0x00});
// Device type 3, made 7/2011, serial number 12345.
const Bytes kZiron7Reply = Sealed({0xFE, 0xC6, 0x05, 0x03, 0x0B, 0x07, 0x39, 0x30});
const Bytes kType5Reply = Sealed({0xFE, 0x46, 0x05, 0x05, 0x0B, 0x07, 0x39, 0x30});
const Bytes kOtherCommand = Sealed({0x01, 0x03, 0x02, 0x00, 0x2A});

// Three requests 80 ms apart, as the diagnosis sends them.
RateRecord Requests() {
    RateRecord record;
    record.baudRate = kRate;
    for (const auto at : {0ms, 80ms, 160ms}) {
        record.sent.push_back({at, kIdentify});
    }
    return record;
}

// `reply` after each request, `late` after the request and its first byte
// have had their wire time (6 characters at 9600 baud: 6.25 ms).
RateRecord AnsweredWith(const Bytes& reply, std::chrono::microseconds late) {
    RateRecord record = Requests();
    for (const TimedBytes& request : Requests().sent) {
        record.received.push_back({request.at + 6250us + late, reply});
    }
    return record;
}

Bytes Joined(const Bytes& first, const Bytes& second) {
    Bytes joined = first;
    joined.insert(joined.end(), second.begin(), second.end());
    return joined;
}

TEST(RateFinding, ASilentLineAnswersNothingAndHasNoTiming) {
    const RateFinding finding = ClassifyRate(Requests());
    EXPECT_EQ(finding.answer, RateAnswer::Nothing);
    EXPECT_EQ(finding.baudRate, kRate);
    EXPECT_EQ(finding.bytesReceived, 0U);
    EXPECT_EQ(finding.timing.replies, 0U);
}

TEST(RateFinding, BytesThatNeverFormAFrameAreGarbage) {
    // A device at another rate: bytes, but no checksum ever holds.
    RateRecord record = Requests();
    record.received.push_back({3ms, {0x00, 0xFF, 0x13, 0x80, 0x7F, 0x00, 0xF0}});
    record.received.push_back({83ms, {0xE0, 0x00, 0x1C}});
    const RateFinding finding = ClassifyRate(record);
    EXPECT_EQ(finding.answer, RateAnswer::Garbage);
    EXPECT_EQ(finding.bytesReceived, 10U);
    EXPECT_EQ(finding.replyFrames, 0U);
    EXPECT_FALSE(finding.command);
}

TEST(RateFinding, AReplyCutByMoreThanTheReceiveGapIsLostAsTheSearchLosesIt) {
    RateRecord record = Requests();
    const Bytes head(kZiron7Reply.begin(), kZiron7Reply.begin() + 4);
    const Bytes tail(kZiron7Reply.begin() + 4, kZiron7Reply.end());
    record.received.push_back({8ms, head});
    record.received.push_back({60ms, tail});  // 52 ms later: the gap fell due
    EXPECT_EQ(ClassifyRate(record).answer, RateAnswer::Garbage);

    record.received.back().at = 50ms;  // 42 ms: still the same reply
    EXPECT_EQ(ClassifyRate(record).answer, RateAnswer::Ziron7);
}

TEST(RateFinding, OurOwnRequestsComingBackAreTheEchoAndNothingElse) {
    const RateFinding finding = ClassifyRate(AnsweredWith(kIdentify, 0us));
    EXPECT_EQ(finding.answer, RateAnswer::OwnEcho);
    EXPECT_EQ(finding.ownEchoes, 3U);
    EXPECT_EQ(finding.replyFrames, 0U);
}

TEST(RateFinding, OurRequestComingBackLaterThanAnEchoMayIsStillOurs) {
    // Past the wire time and the echo's margin: an adapter or a busy PC
    // held it, and the diagnosis counts it apart.
    RateRecord record = Requests();
    record.received.push_back({70ms, kIdentify});
    const RateFinding finding = ClassifyRate(record);
    EXPECT_EQ(finding.ownEchoes, 0U);
    EXPECT_EQ(finding.lateEchoes, 1U);
    EXPECT_EQ(finding.replyFrames, 0U);
    EXPECT_EQ(finding.answer, RateAnswer::OwnEcho);
}

TEST(RateFinding, AnotherDeviceIsToldByItsTypeOrItsCommand) {
    const RateFinding type5 = ClassifyRate(AnsweredWith(kType5Reply, 1ms));
    EXPECT_EQ(type5.answer, RateAnswer::AnotherDevice);
    ASSERT_TRUE(type5.identity);
    EXPECT_EQ(type5.identity->deviceType, 5);
    EXPECT_EQ(type5.replyFrames, 3U);

    const RateFinding foreign = ClassifyRate(AnsweredWith(kOtherCommand, 1ms));
    EXPECT_EQ(foreign.answer, RateAnswer::AnotherDevice);
    EXPECT_EQ(foreign.command, 0x03);
    EXPECT_FALSE(foreign.identity);
}

TEST(RateFinding, TheZiron7IsFoundWithItsSerialNumberEvenBehindItsEcho) {
    const RateFinding found = ClassifyRate(AnsweredWith(kZiron7Reply, 1ms));
    EXPECT_EQ(found.answer, RateAnswer::Ziron7);
    ASSERT_TRUE(found.identity);
    EXPECT_EQ(found.identity->serialNumber, 12345);
    EXPECT_EQ(found.command, CMD_IDENTIFY) << "bit 7 of the reply's command is cleared";

    // A two-wire adapter returns the request in the same read as the answer.
    const RateFinding echoed = ClassifyRate(AnsweredWith(Joined(kIdentify, kZiron7Reply), 0us));
    EXPECT_EQ(echoed.answer, RateAnswer::Ziron7);
    EXPECT_EQ(echoed.ownEchoes, 3U);
}

TEST(RateFinding, RepliesHeldByAnAdapterShowHowLateAndInWhatBurstsTheyCome) {
    // Each reply held 16 ms, then passed on in two bursts 16 ms apart.
    RateRecord record = Requests();
    for (const TimedBytes& request : Requests().sent) {
        const auto first = request.at + 6250us + 16ms;
        record.received.push_back({first, Bytes(kZiron7Reply.begin(), kZiron7Reply.begin() + 6)});
        record.received.push_back(
            {first + 16ms, Bytes(kZiron7Reply.begin() + 6, kZiron7Reply.end())});
    }
    const RateFinding finding = ClassifyRate(record);
    EXPECT_EQ(finding.answer, RateAnswer::Ziron7);
    EXPECT_EQ(finding.timing.replies, 3U);
    EXPECT_EQ(finding.timing.leastLate, 16ms);
    EXPECT_EQ(finding.timing.mostLate, 16ms);
    EXPECT_EQ(finding.timing.mostPieces, 2U);
    EXPECT_EQ(finding.timing.largestGap, 16ms);
}

TEST(RateFinding, TimingKeepsTheLeastTypicalAndMostLatenessOverTheReplies) {
    RateRecord record = Requests();
    record.received = {{6250us + 2ms, kZiron7Reply}, {80ms + 6250us + 9ms, kZiron7Reply}};
    record.received.push_back({160ms + 6250us + 30ms, kZiron7Reply});
    const ReplyTiming timing = ClassifyRate(record).timing;
    EXPECT_EQ(timing.replies, 3U);
    EXPECT_EQ(timing.leastLate, 2ms);
    EXPECT_EQ(timing.typicalLate, 9ms) << "the median, whatever the two others were";
    EXPECT_EQ(timing.mostLate, 30ms);
    EXPECT_EQ(timing.mostPieces, 1U);
    EXPECT_EQ(timing.largestGap, 0us);
}

TEST(RateFinding, TheTailOfALateReplyAfterTheNextRequestSaysNothingOfHowLateThatOneIs) {
    // The first reply is still coming in when the second request goes out;
    // its tail must not pass for a prompt answer to the second.
    RateRecord record = Requests();
    const Bytes head(kZiron7Reply.begin(), kZiron7Reply.begin() + 6);
    const Bytes tail(kZiron7Reply.begin() + 6, kZiron7Reply.end());
    record.received = {{70ms, head}, {81ms, tail}, {160ms + 6250us + 16ms, kZiron7Reply}};
    const RateFinding finding = ClassifyRate(record);
    EXPECT_EQ(finding.answer, RateAnswer::Ziron7);
    EXPECT_EQ(finding.replyFrames, 2U);
    EXPECT_EQ(finding.timing.replies, 3U);
    EXPECT_EQ(finding.timing.leastLate, 16ms);
    EXPECT_EQ(finding.timing.typicalLate, 16ms);
    EXPECT_EQ(finding.timing.mostLate, 70ms - 6250us);
}

}  // namespace
