// The pace of the update's requests under a test's clock: when the next
// request may go out after a reply, when an unanswered one goes out again,
// how long a late copy of a reply may still come, and how a fast run falls
// back to the default pace.
#include <gtest/gtest.h>

#include <chrono>

#include "SendPacing.h"

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kRepeat{69};  // the longest exchange at the bootloader's rate

// A request that went out at `sentMs`, the first of the run.
SendPacer SentAt(Pacing pacing, int sentMs) {
    SendPacer pacer(pacing);
    pacer.NextRequest(kRepeat);
    pacer.Sent(milliseconds(sentMs), true);
    return pacer;
}

TEST(SendPacing, AtTheDefaultPaceTheNextRequestWaitsForFiftyMillisecondsSinceTheLastSend) {
    const SendPacer pacer = SentAt(Pacing::Default, 1000);
    // A reply taken 10, 49, 51 and 90 ms after the send.
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1010), false), milliseconds(40));
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1049), false), milliseconds(1));
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1051), false), milliseconds(0));
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1090), false), milliseconds(0));
    // The bootloader's passes make no difference unless the fast pace is chosen.
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1010), true), milliseconds(40));
}

TEST(SendPacing, TheFastPaceSendsAtOnceButOnlyWhileTheBootloaderWritesOrVerifies) {
    const SendPacer pacer = SentAt(Pacing::Fast, 1000);
    EXPECT_TRUE(pacer.IsFast());
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1010), true), milliseconds(0));
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1010), false), milliseconds(40));
}

TEST(SendPacing, NothingSentYetMeansNoWaitAndNoLateCopies) {
    SendPacer pacer;
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(0), false), milliseconds(0));
    EXPECT_EQ(pacer.WaitBeforeKeepAlive(milliseconds(0)), milliseconds(0));
    pacer.NextRequest(kRepeat);
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(0)));
}

TEST(SendPacing, AnUnansweredRequestGoesOutAgainOnlyOnceItsReplyCannotBeOnTheWay) {
    SendPacer pacer = SentAt(Pacing::Default, 1000);
    EXPECT_EQ(pacer.WaitBeforeRepeat(milliseconds(1010)), milliseconds(59));
    EXPECT_EQ(pacer.WaitBeforeRepeat(milliseconds(1069)), milliseconds(0));
    // The reply never comes: every repeat waits the whole interval again.
    pacer.Sent(milliseconds(1069), true);
    EXPECT_EQ(pacer.WaitBeforeRepeat(milliseconds(1137)), milliseconds(1));
    EXPECT_EQ(pacer.WaitBeforeRepeat(milliseconds(1140)), milliseconds(0));
}

TEST(SendPacing, ALateReplyCostsOnlyItsLatenessAndItsCopiesAreExpectedAfterwards) {
    SendPacer pacer = SentAt(Pacing::Default, 1000);
    pacer.Sent(milliseconds(1100), true);  // repeated, then the first reply comes late
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1130), false), milliseconds(20));
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1160), false), milliseconds(0));
    // The next request is outstanding: the repeat's own reply, doubled by
    // the line at most, may come until its interval and one copy's lag are over.
    pacer.NextRequest(kRepeat);
    pacer.Sent(milliseconds(1160), true);
    EXPECT_TRUE(pacer.CopyMayArrive(milliseconds(1218)));
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(1219)));
}

TEST(SendPacing, AKeepAliveSpacesTheNextFrameButLeavesTheRequestsTimingAlone) {
    SendPacer pacer = SentAt(Pacing::Default, 1000);
    // Only a request holds a keep-alive back; keep-alives keep the pump's period.
    EXPECT_EQ(pacer.WaitBeforeKeepAlive(milliseconds(1030)), milliseconds(20));
    pacer.Sent(milliseconds(1200), false);
    EXPECT_EQ(pacer.WaitBeforeKeepAlive(milliseconds(1249)), milliseconds(0));
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1220), false), milliseconds(30));
    EXPECT_EQ(pacer.WaitBeforeRepeat(milliseconds(1220)), milliseconds(0));
    pacer.NextRequest(kRepeat);
    EXPECT_FALSE(pacer.CopyMayArrive(milliseconds(1220)));  // 1000 + 69 + 50
}

TEST(SendPacing, AFastRunFallsBackToTheDefaultPaceOnceAndForGood) {
    SendPacer pacer = SentAt(Pacing::Fast, 1000);
    EXPECT_TRUE(pacer.FallBack());
    EXPECT_FALSE(pacer.IsFast());
    EXPECT_EQ(pacer.WaitBeforeNext(milliseconds(1010), true), milliseconds(40));
    // Told once: later troubles change nothing.
    EXPECT_FALSE(pacer.FallBack());
    EXPECT_FALSE(SendPacer(Pacing::Default).FallBack());
}

}  // namespace
