// Which replies the search may credit to the rate it asks at: only those a
// read took in after an earlier read had found the adapter unable to hold
// anything from the rate before.
#include <gtest/gtest.h>

#include "RateOfReplies.h"
#include "ReplyTransit.h"

namespace {

using std::chrono::milliseconds;

using Time = RateOfReplies::Clock::time_point;

const Time kSwitch = Time() + std::chrono::hours(1);
const milliseconds kHold{kLongestAdapterHoldMs};

TEST(RateOfReplies, NothingCountsUntilAReadBeganOnceTheAdapterCanHoldNothingFromBefore) {
    RateOfReplies rate;
    rate.RateSet(kSwitch);
    EXPECT_FALSE(rate.OnlyThisRate());
    // What this read takes in may be the rate before's; so may what comes
    // after it, as the adapter may still be holding it.
    rate.PortRead(kSwitch + kHold - milliseconds(1));
    EXPECT_FALSE(rate.OnlyThisRate());
    rate.PortRead(kSwitch + kHold);
    EXPECT_TRUE(rate.OnlyThisRate());
    rate.PortRead(kSwitch + kHold + milliseconds(50));
    EXPECT_TRUE(rate.OnlyThisRate());
}

TEST(RateOfReplies, EachRateChangeStartsAfresh) {
    RateOfReplies rate;
    rate.RateSet(kSwitch);
    rate.PortRead(kSwitch + milliseconds(100));
    ASSERT_TRUE(rate.OnlyThisRate());
    const Time next = kSwitch + milliseconds(150);
    rate.RateSet(next);
    EXPECT_FALSE(rate.OnlyThisRate());
    // A read that began before the change says nothing about the new rate.
    rate.PortRead(kSwitch + milliseconds(149));
    EXPECT_FALSE(rate.OnlyThisRate());
    rate.PortRead(next + kHold);
    EXPECT_TRUE(rate.OnlyThisRate());
}

}  // namespace
