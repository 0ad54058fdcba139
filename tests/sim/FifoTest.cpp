#include "Fifo.h"

#include <gtest/gtest.h>

namespace {

// The queue moves what is left to the front of its block once the taken
// items fill half of it: order and indices must survive every such move.
TEST(FifoTest, KeepsOrderAndIndicesAcrossEveryMoveOfWhatIsLeft) {
    sim::Fifo<int> queue;
    int next = 0;
    int expected = 0;
    for (int round = 0; round < 40; ++round) {
        for (int i = 0; i < 97; ++i) {
            queue.push_back(next++);
        }
        ASSERT_EQ(queue[queue.size() - 1], queue.back());
        for (int i = 0; i < 60 && !queue.empty(); ++i) {
            ASSERT_EQ(queue.front(), expected) << "round " << round;
            ASSERT_EQ(queue[1 % queue.size()], queue.size() > 1 ? expected + 1 : expected);
            queue.pop_front();
            ++expected;
        }
        ASSERT_EQ(queue.size(), static_cast<std::size_t>(next - expected));
    }
    while (!queue.empty()) {
        ASSERT_EQ(queue.front(), expected++);
        queue.pop_front();
    }
    EXPECT_EQ(expected, next);
    queue.push_back(7);
    EXPECT_EQ(queue.front(), 7);
    queue.clear();
    EXPECT_TRUE(queue.empty());
}

}  // namespace
