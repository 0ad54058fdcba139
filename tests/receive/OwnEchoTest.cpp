// Which frames are our own coming back: the frame sent last, once, within
// its wire time and the transit margin; and a request that its answer may
// equal only on a line known to echo.
#include "OwnEcho.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using Answer = OwnEcho::Answer;
using Bytes = std::vector<std::uint8_t>;

const Bytes kIdentify = {0xFE, 0x46, 0x00, 0x22, 0x50};
// A bootloader operation of code and address alone, as its answer may equal it.
const Bytes kProgramPage = {0x00, 0x6D, 0x03, 0x03, 0x00, 0x01, 0x5C, 0x21};

const OwnEcho::Clock::time_point kSent{};

// A request no answer can equal: whatever is identical to it is ours, on
// time or late (a busy PC that read the echo after its window took it for a
// device of another type).
TEST(OwnEcho, ARequestNoAnswerCanEqualIsOursWheneverItComesBack) {
    OwnEcho echo;
    echo.Sent(kIdentify, 4800, kSent, Answer::AlwaysDiffers);
    EXPECT_FALSE(echo.IsOwnEcho(Bytes{0xFE, 0x46, 0x00, 0x22, 0x51}, kSent + 1ms));
    EXPECT_TRUE(echo.IsOwnEcho(kIdentify, kSent + 1ms));
    EXPECT_TRUE(echo.IsOwnEcho(kIdentify, kSent + 900ms)) << "late, and a copy";
    EXPECT_EQ(echo.EchoesPassedOver(), 2U);
    EXPECT_EQ(echo.LateEchoesPassedOver(), 1U);
    EXPECT_TRUE(echo.LineEchoes());
}

// The request a dialog is about to send, coming back before it has: the
// echo of the line's last user, late; the first send then owes its own.
TEST(OwnEcho, AnExpectedRequestComingBackBeforeItsFirstSendIsALateEchoOfOurs) {
    OwnEcho echo;
    echo.Expect(kIdentify, Answer::AlwaysDiffers);
    EXPECT_TRUE(echo.IsOwnEcho(kIdentify, kSent));
    EXPECT_EQ(echo.LateEchoesPassedOver(), 1U);
    echo.Sent(kIdentify, 4800, kSent + 50ms, Answer::AlwaysDiffers);
    EXPECT_TRUE(echo.IsOwnEcho(kIdentify, kSent + 60ms));
    EXPECT_EQ(echo.EchoesPassedOver(), 2U);
    EXPECT_EQ(echo.LateEchoesPassedOver(), 1U) << "the send's own echo is on time";

    // An answer may equal what is expected: before a send, it is the answer.
    OwnEcho bootloader;
    bootloader.Expect(kProgramPage, Answer::MayEqualRequest);
    EXPECT_FALSE(bootloader.IsOwnEcho(kProgramPage, kSent));
}

TEST(OwnEcho, AnIdenticalAnswerIsOursOnlyOnceWithinItsWireTimeAndTheMargin) {
    OwnEcho echo;
    echo.Sent(kIdentify, 4800, kSent, Answer::AlwaysDiffers);
    ASSERT_TRUE(echo.IsOwnEcho(kIdentify, kSent + 1ms));
    // 8 bytes at 4800 baud, 12 bit times each: 20 ms, and 50 ms for an
    // adapter's latency timer and the dialog's queue.
    echo.Sent(kProgramPage, 4800, kSent, Answer::MayEqualRequest);
    EXPECT_TRUE(echo.IsOwnEcho(kProgramPage, kSent + 70ms));
    EXPECT_FALSE(echo.IsOwnEcho(kProgramPage, kSent + 70ms)) << "one echo per send";

    echo.Sent(kProgramPage, 4800, kSent, Answer::MayEqualRequest);
    EXPECT_FALSE(echo.IsOwnEcho(kProgramPage, kSent + 71ms)) << "too late to be ours";
    EXPECT_EQ(echo.EchoesPassedOver(), 2U);
}

// A dialog held up for a tick takes both echoes in after the second send.
TEST(OwnEcho, TheSameFrameSentAgainBeforeItsEchoWasTakenInOwesTwo) {
    OwnEcho echo;
    echo.Sent(kIdentify, 9600, kSent, Answer::AlwaysDiffers);
    ASSERT_TRUE(echo.IsOwnEcho(kIdentify, kSent + 1ms));
    echo.Sent(kProgramPage, 9600, kSent, Answer::MayEqualRequest);
    echo.Sent(kProgramPage, 9600, kSent + 30ms, Answer::MayEqualRequest);
    EXPECT_TRUE(echo.IsOwnEcho(kProgramPage, kSent + 40ms));
    EXPECT_TRUE(echo.IsOwnEcho(kProgramPage, kSent + 40ms));
    EXPECT_FALSE(echo.IsOwnEcho(kProgramPage, kSent + 40ms));

    // Once the first echo's time is over, a send owes only its own.
    echo.Sent(kProgramPage, 9600, kSent + 100ms, Answer::MayEqualRequest);
    echo.Sent(kProgramPage, 9600, kSent + 170ms, Answer::MayEqualRequest);
    EXPECT_TRUE(echo.IsOwnEcho(kProgramPage, kSent + 171ms));
    EXPECT_FALSE(echo.IsOwnEcho(kProgramPage, kSent + 172ms));
}

TEST(OwnEcho, AnAnswerThatMayEqualItsRequestIsTakenForOursOnlyOnALineKnownToEcho) {
    OwnEcho clean;
    clean.Sent(kProgramPage, 38400, kSent, Answer::MayEqualRequest);
    EXPECT_FALSE(clean.IsOwnEcho(kProgramPage, kSent + 5ms));
    EXPECT_EQ(clean.EchoesPassedOver(), 0U);
    EXPECT_FALSE(clean.LineEchoes());

    OwnEcho echoing;
    echoing.Sent(kIdentify, 38400, kSent, Answer::AlwaysDiffers);
    ASSERT_TRUE(echoing.IsOwnEcho(kIdentify, kSent + 1ms));
    echoing.Sent(kProgramPage, 38400, kSent, Answer::MayEqualRequest);
    EXPECT_TRUE(echoing.IsOwnEcho(kProgramPage, kSent + 5ms));
    // The same bytes again are the instrument's answer.
    EXPECT_FALSE(echoing.IsOwnEcho(kProgramPage, kSent + 10ms));
}

}  // namespace
