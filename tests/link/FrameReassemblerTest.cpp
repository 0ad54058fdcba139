#include "FrameReassembler.h"

#include <gtest/gtest.h>

#include <numeric>

#include "CommandSet.h"
#include "FrameTestSupport.h"
#include "SessionEvents.h"

namespace {

class Reassembly : public ::testing::Test {
protected:
    // Bytes arrive in the port; the port event for them is handled.
    bool Deliver(std::span<const std::uint8_t> bytes) {
        port.Arrive(bytes);
        return receiver.Receive(port.Reader(), Collect());
    }
    // Bytes arrive in pieces of `chunk`, one port event each.
    void DeliverPaced(const Bytes& bytes, std::size_t chunk) {
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            Deliver(std::span(bytes).subspan(at, std::min(chunk, bytes.size() - at)));
        }
    }
    FrameReassembler::FrameHandler Collect() {
        return [this](std::span<const std::uint8_t> frame) {
            frames.emplace_back(frame.begin(), frame.end());
        };
    }

    ScriptedPort port;
    FrameReassembler receiver;
    std::vector<Bytes> frames;
};

// A read-back reply as the bootloader sends it: operation, two bytes, 128 data bytes.
Bytes ReadBackReply(std::uint8_t seed) {
    Bytes payload(3 + 128);
    payload[0] = BL_READ_BACK;
    std::iota(payload.begin() + 3, payload.end(), seed);
    for (std::size_t i = 3; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(payload[i] * 167 + 13);  // varied lengths inside
    }
    return SealedFrame(0x00, CMD_LOADER | kReplyFlagBit, payload);
}

TEST_F(Reassembly, FrameInPiecesOfOneOneAndTheRest) {
    const Bytes reply = SealedFrame(0xFE, CMD_IDENTIFY, {3, 11, 7, 0x39, 0x30});
    EXPECT_TRUE(Deliver(std::span(reply).first(1)));
    EXPECT_TRUE(Deliver(std::span(reply).subspan(1, 1)));
    EXPECT_TRUE(frames.empty());
    Deliver(std::span(reply).subspan(2, reply.size() - 3));
    EXPECT_TRUE(frames.empty()) << "one byte short";
    Deliver(std::span(reply).last(1));
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], reply);
}

TEST_F(Reassembly, EmptyPayloadIsCompleteAtFiveBytes) {
    const Bytes reply = SealedFrame(0xFE, CMD_STATUS, {});
    Deliver(reply);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].size(), 5U);
}

TEST_F(Reassembly, ReplyFlagIsKeptOnTheFrameAndClearedByReplyCommand) {
    Deliver(SealedFrame(0xFE, CMD_STATUS | kReplyFlagBit, {0x02}));
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(ReplyCommand(frames[0]), CMD_STATUS);
}

TEST_F(Reassembly, SecondFrameOfTheSameReadIsDroppedWithTheBuffer) {
    Bytes both = SealedFrame(0xFE, CMD_IDENTIFY, {3});
    const Bytes second = SealedFrame(0xFE, CMD_STATUS, {0});
    both.insert(both.end(), second.begin(), second.end());
    Deliver(both);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(ReplyCommand(frames[0]), CMD_IDENTIFY);
    EXPECT_EQ(receiver.HeldCount(), 0U);
}

// An echoing line returns our request and the answer in one read: the
// request is passed over at its own cost, and the answer behind it stays.
TEST_F(Reassembly, OurOwnFrameCostsOnlyItsBytesAndTheAnswerBehindItIsHandedOver) {
    const Bytes request = SealedFrame(0xFE, CMD_IDENTIFY, {});
    const Bytes answer = SealedFrame(0xFE, CMD_IDENTIFY, {3, 11, 7, 0x39, 0x30});
    Bytes both = request;
    both.insert(both.end(), answer.begin(), answer.end());
    std::vector<Bytes> asked;
    const FrameReassembler::OwnFrameTest isOwn = [&](std::span<const std::uint8_t> frame) {
        asked.emplace_back(frame.begin(), frame.end());
        return Bytes(frame.begin(), frame.end()) == request;
    };
    port.Arrive(both);
    receiver.Receive(port.Reader(), Collect(), isOwn);
    EXPECT_EQ(asked, (std::vector<Bytes>{request, answer}));
    EXPECT_EQ(frames, std::vector<Bytes>{answer});
    EXPECT_EQ(receiver.HeldCount(), 0U);

    // The answer's head behind our frame is waited for, not realigned away.
    port.Arrive(request);
    port.Arrive(std::span(answer).first(4));
    receiver.Receive(port.Reader(), Collect(), isOwn);
    EXPECT_EQ(receiver.HeldCount(), 4U);
    port.Arrive(std::span(answer).subspan(4));
    receiver.Receive(port.Reader(), Collect(), isOwn);
    EXPECT_EQ(frames, (std::vector<Bytes>{answer, answer}));
}

TEST_F(Reassembly, NothingPendingMeansNothingArrived) {
    EXPECT_FALSE(receiver.Receive(port.Reader(), Collect()));
}

TEST_F(Reassembly, ReadsAgainWhileTheReadFillsItsRequest) {
    // More than one read's worth is pending: garbage first, then a frame.
    Bytes stream(400, 0x00);
    const Bytes reply = SealedFrame(0xFE, CMD_STATUS, {0x02});
    stream.insert(stream.end(), reply.begin(), reply.end());
    Deliver(stream);
    EXPECT_EQ(port.Pending(), 0U);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], reply);
}

// Length bytes 251..255 announce totals that wrap an 8-bit counter. Such a
// header is no frame start: the byte is dropped and the stream goes on.
class OverlongLength : public Reassembly, public ::testing::WithParamInterface<int> {};

TEST_P(OverlongLength, IsDroppedAndTheNextFrameIsFound) {
    Bytes stream{0xFE, CMD_STATUS, static_cast<std::uint8_t>(GetParam()), 1, 2, 3};
    const Bytes reply = SealedFrame(0xFE, CMD_STATUS, {0x02});
    stream.insert(stream.end(), reply.begin(), reply.end());
    DeliverPaced(stream, 1);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], reply);
}

INSTANTIATE_TEST_SUITE_P(AboveTwoHundredFifty, OverlongLength, ::testing::Range(251, 256));

TEST_F(Reassembly, HandlerMayDriveTheReceiverAgain) {
    // A reply handler that opens a message box runs a nested event loop in
    // which the next port event is handled.
    const Bytes first = SealedFrame(0xFE, CMD_INFO, {'J', 'u', 'n'});
    const Bytes second = SealedFrame(0xFE, CMD_STATUS, {0x00});
    bool nested = false;
    port.Arrive(first);
    receiver.Receive(port.Reader(), [&](std::span<const std::uint8_t> frame) {
        frames.emplace_back(frame.begin(), frame.end());
        if (!nested) {
            nested = true;
            port.Arrive(second);
            receiver.Receive(port.Reader(), Collect());
        }
    });
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0], first);
    EXPECT_EQ(frames[1], second);
}

// --- Realignment on a line that never falls quiet for 50 ms. ---

// One byte of a read-back reply is lost on the line. The replies behind it
// come one per pump tick, each a few bytes per port event, and the line
// never falls quiet for 50 ms. The very next reply must be cut exactly, and
// every one after it.
class OneByteLost : public Reassembly, public ::testing::WithParamInterface<int> {};

TEST_P(OneByteLost, NextReplyIsCutCorrectly) {
    Bytes broken = ReadBackReply(0);
    broken.erase(broken.begin() + GetParam());
    DeliverPaced(broken, 7);
    std::vector<Bytes> good;
    for (std::uint8_t n = 1; n <= 4; ++n) {
        good.push_back(ReadBackReply(static_cast<std::uint8_t>(n * 40)));
        DeliverPaced(good.back(), 7);
    }
    EXPECT_EQ(frames, good);
}

INSTANTIATE_TEST_SUITE_P(EveryPosition, OneByteLost, ::testing::Range(0, 136));

TEST_F(Reassembly, OneByteLostFromAShortReplyCostsOnlyThatReply) {
    Bytes broken = SealedFrame(0xFE, CMD_STATUS, {0x02});
    broken.erase(broken.begin() + 3);
    const Bytes next = SealedFrame(0xFE, CMD_IDENTIFY, {3, 11, 7, 0x39, 0x30});
    Bytes stream = broken;
    stream.insert(stream.end(), next.begin(), next.end());
    DeliverPaced(stream, 1);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], next);
}

// A repeated request drew two replies, sent back to back at wire speed; the
// port event splits them anywhere. The copy behind the first is handed over
// whole or dropped with the buffer (whole or in part); the replies of the
// following ticks are all cut exactly.
class DuplicatedReply : public Reassembly, public ::testing::WithParamInterface<int> {};

TEST_P(DuplicatedReply, LeavesTheReceiverInStep) {
    const Bytes reply = ReadBackReply(9);
    Bytes pair = reply;
    pair.insert(pair.end(), reply.begin(), reply.end());
    const std::size_t split = static_cast<std::size_t>(GetParam());
    Deliver(std::span(pair).first(split));
    Deliver(std::span(pair).subspan(split));
    std::vector<Bytes> expected(split == reply.size() ? 2 : 1, reply);
    for (std::uint8_t n = 1; n <= 3; ++n) {
        expected.push_back(ReadBackReply(static_cast<std::uint8_t>(n * 70)));
        DeliverPaced(expected.back(), 11);
    }
    EXPECT_EQ(frames, expected);
}

INSTANTIATE_TEST_SUITE_P(SplitAnywhere, DuplicatedReply, ::testing::Range(136, 273, 4));

// --- The receive gap. ---

TEST_F(Reassembly, GapDropsAPartialFrameThatHasStalled) {
    const Bytes reply = SealedFrame(0xFE, CMD_IDENTIFY, {3, 11, 7, 0x39, 0x30});
    Deliver(std::span(reply).first(4));
    EXPECT_FALSE(receiver.OnReceiveGap(port.Reader(), Collect()));
    EXPECT_EQ(receiver.HeldCount(), 0U);
    Deliver(reply);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], reply);
}

TEST_F(Reassembly, GapTakesTheTailOfAReplyThatIsAlreadyPending) {
    const Bytes reply = SealedFrame(0xFE, CMD_LOADER, {kAccessCodeSize});
    Deliver(std::span(reply).first(3));
    port.Arrive(std::span(reply).subspan(3));  // its port event not yet handled
    EXPECT_TRUE(receiver.OnReceiveGap(port.Reader(), Collect()));
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], reply);
    EXPECT_FALSE(receiver.Receive(port.Reader(), Collect())) << "the late port event finds nothing";
}

// An instrument that answers every 50 ms request after the same delay: the
// gap timer, restarted by each read, falls due exactly as the next reply
// lands in the port, before its port event is handled. No reply may be lost.
TEST_F(Reassembly, FixedDelayInstrumentLosesNoReplyToTheGap) {
    constexpr int kReplies = 50;
    for (int n = 0; n < kReplies; ++n) {
        const Bytes reply = SealedFrame(0xFE, CMD_STATUS, {static_cast<std::uint8_t>(n)});
        port.Arrive(reply);
        if (n > 0) {
            receiver.OnReceiveGap(port.Reader(), Collect());  // 50 ms after the last read
        }
        receiver.Receive(port.Reader(), Collect());  // the reply's own port event
    }
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(kReplies));
    for (int n = 0; n < kReplies; ++n) {
        EXPECT_EQ(frames[n][3], n);
    }
}

TEST_F(Reassembly, FlushDiscardsPendingInputAndThePartialFrame) {
    const Bytes reply = SealedFrame(0xFE, CMD_STATUS, {0x02});
    Deliver(std::span(reply).first(2));
    port.Arrive(reply);
    receiver.FlushInput(port.Reader());
    EXPECT_EQ(port.Pending(), 0U);
    EXPECT_EQ(receiver.HeldCount(), 0U);
    Deliver(reply);
    EXPECT_EQ(frames.size(), 1U);
}

TEST_F(Reassembly, FlushReadsAtMost2047Bytes) {
    port.Arrive(Bytes(3000, 0x55));
    receiver.FlushInput(port.Reader());
    EXPECT_EQ(port.Pending(), 3000U - 2047U);
}

}  // namespace

// What the session log hears from the receiver: every frame handed over, and
// a corrupted frame once, not once for every byte tried while realigning.
class ReportedFrames : public Reassembly, private SessionEvents {
protected:
    void OnFrameReceived(std::span<const std::uint8_t> frame) override {
        received.emplace_back(frame.begin(), frame.end());
    }
    void OnChecksumFailed(std::span<const std::uint8_t> bytes) override {
        failed.emplace_back(bytes.begin(), bytes.end());
    }

    SessionEventsScope listening{*this};
    std::vector<Bytes> received;
    std::vector<Bytes> failed;
};

TEST_F(ReportedFrames, ACorruptedReplyIsReportedOnceAndTheNextOneAsReceived) {
    Bytes corrupted = ReadBackReply(1);
    corrupted[40] ^= 0x10;
    const Bytes good = ReadBackReply(2);
    Deliver(corrupted);
    Deliver(good);
    ASSERT_EQ(failed.size(), 1U);
    EXPECT_EQ(failed[0], corrupted);
    EXPECT_EQ(received, std::vector<Bytes>{good});
    EXPECT_EQ(frames, received);
}
