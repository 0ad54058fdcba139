// The pace of the update's requests under a test's clock: when the next
// request is due after a reply, how a held-up write or a late timer moves
// it, when an unanswered one goes out again, how long a late copy of a
// reply may still come, and how a fast run falls back to the default pace.
#include <gtest/gtest.h>

#include <chrono>

#include "CommandSet.h"
#include "SendPacing.h"

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kRepeat{69};  // the longest exchange at the bootloader's rate
constexpr std::uint32_t kRate = 38400;  // baud
constexpr std::uint32_t kMainRate = 9600;

// A request that was due and went out at `sentMs`, the first of the run.
SendPacer SentAt(Pacing pacing, int sentMs) {
    SendPacer pacer(pacing);
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    pacer.Sent({milliseconds(sentMs), milliseconds(sentMs), milliseconds(sentMs)}, true);
    return pacer;
}

TEST(SendPacing, AtTheDefaultPaceTheNextRequestIsDueFiftyMillisecondsAfterTheLast) {
    const SendPacer pacer = SentAt(Pacing::Default, 1000);
    // A reply taken 10, 49, 51 and 90 ms after the send.
    EXPECT_EQ(pacer.NextDue(milliseconds(1010), false), milliseconds(1050));
    EXPECT_EQ(pacer.NextDue(milliseconds(1049), false), milliseconds(1050));
    EXPECT_EQ(pacer.NextDue(milliseconds(1051), false), milliseconds(1051));
    EXPECT_EQ(pacer.NextDue(milliseconds(1090), false), milliseconds(1090));
    // The bootloader's passes make no difference unless the fast pace is chosen.
    EXPECT_EQ(pacer.NextDue(milliseconds(1010), true), milliseconds(1050));
}

TEST(SendPacing, ATimerFiringLateDoesNotPushTheFramesAfterItBack) {
    // Every frame goes out 2 ms after it was due, its reply 30 ms later:
    // the 705 frames of an update stay on the 50 ms grid.
    SendPacer pacer(Pacing::Default);
    PaceTime due = milliseconds(1000);
    for (int frame = 0; frame < 705; ++frame) {
        pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
        const PaceTime wentOut = due + milliseconds(2);
        pacer.Sent({due, wentOut, wentOut}, true);
        pacer.ReplyTaken(wentOut + milliseconds(30));
        due = pacer.NextDue(wentOut + milliseconds(30), false);
    }
    EXPECT_EQ(due, milliseconds(1000 + 705 * 50));
}

TEST(SendPacing, AHeldUpWriteKeepsTheNextFrameFortyMillisecondsBehindItsBytes) {
    SendPacer pacer(Pacing::Default);
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    // Due at 1000, the write completed only at 1030.
    pacer.Sent({milliseconds(1000), milliseconds(1030), milliseconds(1030)}, true);
    EXPECT_EQ(pacer.NextDue(milliseconds(1035), false), milliseconds(1070));
    EXPECT_EQ(pacer.WaitBeforeKeepAlive(milliseconds(1050)), milliseconds(20));
    // A write held beyond the 50 ms grid moves the grid with it.
    pacer.Sent({milliseconds(1070), milliseconds(1071), milliseconds(1071)}, true);
    EXPECT_EQ(pacer.NextDue(milliseconds(1080), false), milliseconds(1120));
    // The fast pace has no minimum in the passes.
    SendPacer fast(Pacing::Fast);
    fast.Sent({milliseconds(1000), milliseconds(1030), milliseconds(1030)}, true);
    EXPECT_EQ(fast.NextDue(milliseconds(1031), true), milliseconds(1031));
    EXPECT_EQ(fast.NextDue(milliseconds(1031), false), milliseconds(1070));
}

TEST(SendPacing, NothingSentYetMeansNoWaitAndNoLateCopies) {
    SendPacer pacer;
    EXPECT_EQ(pacer.NextDue(milliseconds(5), false), milliseconds(5));
    EXPECT_EQ(pacer.WaitBeforeKeepAlive(milliseconds(0)), milliseconds(0));
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(0), CMD_STATUS, kRate));
    EXPECT_EQ(pacer.AfterCopies(milliseconds(40), CMD_STATUS, kRate), PaceTime::min());
}

TEST(SendPacing, AnUnansweredRequestGoesOutAgainOnlyOnceItsReplyCannotBeOnTheWay) {
    SendPacer pacer(Pacing::Default);
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    // Counted from when its bytes had left.
    pacer.Sent({milliseconds(1000), milliseconds(1004), milliseconds(1004)}, true);
    EXPECT_EQ(pacer.RepeatDue(), milliseconds(1073));
    // The reply never comes: every repeat waits the whole interval again.
    pacer.Sent({milliseconds(1073), milliseconds(1073), milliseconds(1073)}, true);
    EXPECT_EQ(pacer.RepeatDue(), milliseconds(1142));
}

TEST(SendPacing, ACopyOfAReplyToARequestSentOnceIsExpectedOnlyRightBehindIt) {
    SendPacer pacer = SentAt(Pacing::Default, 1000);
    pacer.ReplyTaken(milliseconds(1040));
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    EXPECT_TRUE(pacer.CopyMayArrive(milliseconds(1089), CMD_STATUS, kRate));
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(1090), CMD_STATUS, kRate));
    // A request whose reply may look the same and takes 39 ms to come goes
    // no sooner than 1051: its reply then arrives once no copy can.
    EXPECT_EQ(pacer.AfterCopies(milliseconds(39), CMD_STATUS, kRate), milliseconds(1051));
}

TEST(SendPacing, CopiesOfARepeatedRequestsRepliesAreExpectedAsLongAsTheyCouldCome) {
    SendPacer pacer = SentAt(Pacing::Default, 1000);
    pacer.Sent({milliseconds(1100), milliseconds(1100), milliseconds(1100)}, true);  // repeated, then a reply
    pacer.ReplyTaken(milliseconds(1130));
    EXPECT_EQ(pacer.NextDue(milliseconds(1130), false), milliseconds(1150));
    // The repeat's own reply, doubled by the line at most, may come as late
    // after the repeat as this line took to answer (130 ms after the first
    // send, longer than the repeat interval), and one copy's lag more: taken
    // for the next request's reply, it would stand for data it is not.
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    pacer.Sent({milliseconds(1150), milliseconds(1150), milliseconds(1150)}, true);
    EXPECT_TRUE(pacer.CopyMayArrive(milliseconds(1279), CMD_STATUS, kRate));
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(1280), CMD_STATUS, kRate));
    // So may the replies of one given up unanswered, which does not end the
    // time of the copies before it.
    // Its own come until 1269.
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    EXPECT_TRUE(pacer.CopyMayArrive(milliseconds(1279), CMD_STATUS, kRate));
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(1280), CMD_STATUS, kRate));
}

TEST(SendPacing, ASwitchBetweenTwoStatusRequestsLeavesTheFirstOnesCopiesTheirTime) {
    // The status asked four times before the bootloader answered 830 ms
    // after the first: the copies of the later three come up to 830 ms
    // after them.
    SendPacer pacer(Pacing::Default);
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    for (int sentMs : {1000, 1069, 1138, 1207}) {
        pacer.Sent({milliseconds(sentMs), milliseconds(sentMs), milliseconds(sentMs)}, true);
    }
    pacer.ReplyTaken(milliseconds(1830));
    // The switch back, which nothing answers, and its 500 ms settle.
    pacer.NextRequest(milliseconds(500), CMD_LOADER, kRate);
    pacer.Sent({milliseconds(1850), milliseconds(1850), milliseconds(1853)}, true);
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(2404), CMD_LOADER, kRate));
    // A status reply before 2087 may still be the bootloader's old word.
    EXPECT_TRUE(pacer.CopyMayArrive(milliseconds(2086), CMD_STATUS, kRate));
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(2087), CMD_STATUS, kRate));
    EXPECT_EQ(pacer.AfterCopies(milliseconds(7), CMD_STATUS, kRate), milliseconds(2080));
}

TEST(SendPacing, CopiesOfRepliesAskedAtAnotherRateHoldNothingBack) {
    // The main program answered its status 3 s late; the switch was taken
    // and the port moved to the bootloader's rate, where the main
    // program's copies, sent at its own, arrive garbled.
    SendPacer pacer(Pacing::Default);
    pacer.NextRequest(kRepeat, CMD_STATUS, kMainRate);
    for (int sentMs : {1000, 1069, 1138}) {
        pacer.Sent({milliseconds(sentMs), milliseconds(sentMs), milliseconds(sentMs)}, true);
    }
    pacer.ReplyTaken(milliseconds(4000));
    pacer.NextRequest(milliseconds(500), CMD_LOADER, kMainRate);
    pacer.Sent({milliseconds(4050), milliseconds(4050), milliseconds(4060)}, true);
    pacer.ReplyTaken(milliseconds(4070));
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    // Copies of the three sends may come until 3 s after the last of them.
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(4100), CMD_STATUS, kRate));
    EXPECT_EQ(pacer.AfterCopies(milliseconds(7), CMD_STATUS, kRate), PaceTime::min());
    // Back at the main program's rate they may still come.
    EXPECT_TRUE(pacer.CopyMayArrive(milliseconds(4100), CMD_STATUS, kMainRate));
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(4188), CMD_STATUS, kMainRate));
}

TEST(SendPacing, AStatusAskedAgainAfterOneGivenUpCountsTheLinesLatenessFromTheFirst) {
    SendPacer pacer(Pacing::Default);
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    pacer.Sent({milliseconds(1000), milliseconds(1000), milliseconds(1000)}, true);
    pacer.Sent({milliseconds(1069), milliseconds(1069), milliseconds(1069)}, true);
    // Given up for the same question at another rate: no sooner than its
    // own replies could still come.
    EXPECT_EQ(pacer.AfterCopies(milliseconds(7), CMD_STATUS, kRate), milliseconds(1181));
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    pacer.Sent({milliseconds(1200), milliseconds(1200), milliseconds(1200)}, true);
    // The first send's reply, 830 ms late: its three sends' copies may
    // come as late after the last.
    pacer.ReplyTaken(milliseconds(1830));
    pacer.NextRequest(kRepeat, CMD_STATUS, kRate);
    EXPECT_TRUE(pacer.CopyMayArrive(milliseconds(2079), CMD_STATUS, kRate));
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(2080), CMD_STATUS, kRate));
}

TEST(SendPacing, AKeepAliveSpacesTheNextFrameButLeavesTheRequestsTimingAlone) {
    SendPacer pacer = SentAt(Pacing::Default, 1000);
    // Only a request holds a keep-alive back; keep-alives keep the pump's period.
    EXPECT_EQ(pacer.WaitBeforeKeepAlive(milliseconds(1030)), milliseconds(20));
    pacer.Sent({milliseconds(1200), milliseconds(1200), milliseconds(1200)}, false);
    EXPECT_EQ(pacer.WaitBeforeKeepAlive(milliseconds(1249)), milliseconds(0));
    EXPECT_EQ(pacer.NextDue(milliseconds(1220), false), milliseconds(1250));
    EXPECT_EQ(pacer.RepeatDue(), milliseconds(1069));
}

TEST(SendPacing, AFastRunFallsBackToTheDefaultPaceOnceAndForGood) {
    SendPacer pacer = SentAt(Pacing::Fast, 1000);
    EXPECT_TRUE(pacer.FallBack());
    EXPECT_FALSE(pacer.IsFast());
    EXPECT_EQ(pacer.NextDue(milliseconds(1010), true), milliseconds(1050));
    // Told once: later troubles change nothing.
    EXPECT_FALSE(pacer.FallBack());
    EXPECT_FALSE(SendPacer(Pacing::Default).FallBack());
}

}  // namespace
