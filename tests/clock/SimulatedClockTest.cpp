#include "SimulatedClock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;
using Lane = SimulatedClock::Lane;

MonotonicTime At(int ms) {
    return SimulatedClock::kDefaultStart + milliseconds(ms);
}

// Events run in time order across both lanes; at one instant in the order
// they were queued, which is what makes a posted message come after what was
// already waiting; one queued by a running event for "now" runs after the
// rest of that instant.
TEST(SimulatedClock, RunsByTimeThenByQueueingOrder) {
    SimulatedClock clock(1);
    std::vector<std::string> ran;
    clock.At(At(20), Lane::UserInterface, [&] { ran.push_back("timer 20"); });
    clock.At(At(10), Lane::System, [&] {
        ran.push_back("byte 10");
        clock.After(milliseconds(0), Lane::UserInterface, [&] { ran.push_back("posted 10"); });
    });
    clock.At(At(10), Lane::UserInterface, [&] { ran.push_back("timer 10"); });
    const auto dropped = clock.At(At(15), Lane::System, [&] { ran.push_back("dropped"); });
    EXPECT_TRUE(clock.Cancel(dropped));
    EXPECT_FALSE(clock.Cancel(dropped));
    while (clock.RunNext()) {
    }
    EXPECT_THAT(ran, testing::ElementsAre("byte 10", "timer 10", "posted 10", "timer 20"));
    EXPECT_EQ(clock.Now(), At(20));
}

// A blocking wait of the dialogs' thread lets the line go on but holds its
// timers; they run late afterwards, and time never goes back for them.
TEST(SimulatedClock, BlockingWaitRunsOnlyTheSystemLaneAndEndsAtItsDeadline) {
    SimulatedClock clock(1);
    bool written = false;
    int timerTicks = 0;
    clock.At(At(5), Lane::UserInterface, [&] { ++timerTicks; });
    clock.At(At(8), Lane::System, [&] { written = true; });
    EXPECT_TRUE(clock.RunSystemUntil([&] { return written; }, nullptr));
    EXPECT_EQ(clock.Now(), At(8));
    EXPECT_EQ(timerTicks, 0);

    const MonotonicTime deadline = At(30);
    clock.At(At(40), Lane::System, [&] { written = false; });
    EXPECT_FALSE(clock.RunSystemUntil([] { return false; }, &deadline));
    EXPECT_EQ(clock.Now(), deadline);
    EXPECT_TRUE(written);

    ASSERT_TRUE(clock.RunNext());
    EXPECT_EQ(timerTicks, 1);
    EXPECT_EQ(clock.Now(), deadline);  // the 5 ms tick ran late, at 30 ms
    EXPECT_EQ(clock.Queued(Lane::System), 1U);
}

// The same seed draws the same lateness, within the bound and never early.
TEST(SimulatedClock, TimerLatenessIsBoundedAndFollowsTheSeed) {
    SimulatedClock first(7);
    SimulatedClock second(7);
    EXPECT_EQ(first.DrawTimerLateness(), SimulatedClock::Duration::zero());
    first.SetTimerLateness(milliseconds(16));
    second.SetTimerLateness(milliseconds(16));
    for (int draw = 0; draw < 100; ++draw) {
        const auto late = first.DrawTimerLateness();
        EXPECT_EQ(late, second.DrawTimerLateness());
        EXPECT_GE(late, SimulatedClock::Duration::zero());
        EXPECT_LE(late, milliseconds(16));
    }
}

// Installing the world makes it the program's clock; its end gives the
// system's back.
TEST(SimulatedClock, InstalledWorldIsTheProgramsClockUntilItGoes) {
    {
        SimulatedClock clock(1);
        clock.Install();
        EXPECT_EQ(SimulatedClock::Installed(), &clock);
        EXPECT_EQ(MonotonicNow(), SimulatedClock::kDefaultStart);
    }
    EXPECT_EQ(SimulatedClock::Installed(), nullptr);
    EXPECT_NE(MonotonicNow(), SimulatedClock::kDefaultStart);
}

}  // namespace
