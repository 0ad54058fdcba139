// The transmit queue's order and the progress figures.
#include <gtest/gtest.h>

#include "FrameQueue.h"
#include "UpdateProgress.h"

namespace {

TEST(FrameQueue, TheEntryAddedLastGoesOutFirst) {
    FrameQueue queue;
    const std::uint8_t status[] = {0xFE, 0x4A, 0x00};
    const std::uint8_t info[] = {0xFE, 0x6C, 0x01, 0x02};
    queue.AddHead(false, status);
    queue.AddHead(true, info);
    ASSERT_EQ(queue.Size(), 2u);
    const QueuedFrame first = queue.TakeHead();
    EXPECT_TRUE(first.noReply);
    EXPECT_EQ(first.bytes, std::vector<std::uint8_t>(std::begin(info), std::end(info)));
    const QueuedFrame second = queue.TakeHead();
    EXPECT_FALSE(second.noReply);
    EXPECT_EQ(second.bytes, std::vector<std::uint8_t>(std::begin(status), std::end(status)));
    EXPECT_TRUE(queue.IsEmpty());
    queue.AddHead(false, status);
    queue.Clear();
    EXPECT_TRUE(queue.IsEmpty());
}

struct ProgressCase {
    std::uint32_t position;
    std::uint32_t endValue;
    bool verifying;
    double percent;
    const char* text;
    int bar;
};

class Progress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(Progress, FigureTextAndBar) {
    const ProgressCase& c = GetParam();
    const ProgressFigure figure = ComputeProgress(c.position, c.endValue, c.verifying);
    EXPECT_NEAR(figure.percent, c.percent, 0.005);
    EXPECT_EQ(figure.text, c.text);
    EXPECT_EQ(figure.barPosition, c.bar);
}

// The embedded image ends at 35,839; positions can pass it by one byte.
INSTANTIATE_TEST_SUITE_P(EmbeddedImage, Progress,
                         ::testing::Values(ProgressCase{256, 35839, false, 0.36, "  0%", 0},
                                           ProgressCase{128, 35839, true, 50.18, " 50%", 50},
                                           ProgressCase{17920, 35839, false, 25.00, " 25%", 25},
                                           ProgressCase{35584, 35839, false, 49.64, " 50%", 49},
                                           ProgressCase{35840, 35839, false, 50.00, " 50%", 50},
                                           ProgressCase{35840, 35839, true, 100.00, "100%", 100},
                                           ProgressCase{0, 767, false, 0.0, "  0%", 0}));

}  // namespace
