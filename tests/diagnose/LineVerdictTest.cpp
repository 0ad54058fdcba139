// The one verdict over the six rates: the most telling answer decides, the
// first rate that gave it is named, and replies count as held by an adapter
// when the typical one came late.
#include "LineVerdict.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;

RateFinding At(std::int32_t rate, RateAnswer answer, std::chrono::microseconds late = 0us) {
    RateFinding finding;
    finding.baudRate = rate;
    finding.answer = answer;
    if (answer != RateAnswer::Nothing) {
        finding.timing.replies = 3;
        finding.timing.leastLate = 0us;
        finding.timing.typicalLate = late;
        finding.timing.mostLate = late + 3ms;
    }
    return finding;
}

TEST(LineVerdict, SilenceAtEveryRateIsNoAnswer) {
    const std::vector<RateFinding> rates = {At(4800, RateAnswer::Nothing),
                                            At(9600, RateAnswer::Nothing)};
    const LineSummary summary = SummariseLine(rates);
    EXPECT_EQ(summary.verdict, LineVerdict::NoAnswer);
    EXPECT_FALSE(summary.decisive);
    EXPECT_FALSE(summary.heldFor);
    EXPECT_EQ(VerdictCode(summary.verdict), "no_answer");
}

TEST(LineVerdict, TheMostTellingAnswerDecidesAtTheFirstRateThatGaveIt) {
    struct Case {
        std::vector<RateFinding> rates;
        LineVerdict verdict;
        std::int32_t rate;
    };
    const Case cases[] = {
        // Noise at the wrong rates, the instrument at its own.
        {{At(4800, RateAnswer::Garbage), At(9600, RateAnswer::Ziron7),
          At(19200, RateAnswer::Garbage)},
         LineVerdict::Found,
         9600},
        {{At(4800, RateAnswer::OwnEcho), At(9600, RateAnswer::AnotherDevice),
          At(19200, RateAnswer::AnotherDevice)},
         LineVerdict::ForeignDevice,
         9600},
        {{At(4800, RateAnswer::OwnEcho), At(9600, RateAnswer::OwnEcho)},
         LineVerdict::OwnEcho,
         4800},
        {{At(4800, RateAnswer::Nothing), At(57600, RateAnswer::Garbage)},
         LineVerdict::Garbled,
         57600},
    };
    for (const Case& line : cases) {
        const LineSummary summary = SummariseLine(line.rates);
        EXPECT_EQ(summary.verdict, line.verdict);
        ASSERT_TRUE(summary.decisive);
        EXPECT_EQ(summary.decisive->baudRate, line.rate);
    }
}

TEST(LineVerdict, RepliesAreHeldByAnAdapterWhenTheTypicalOneCameLate) {
    const std::vector<RateFinding> held = {At(9600, RateAnswer::Ziron7, 16ms)};
    ASSERT_TRUE(SummariseLine(held).heldFor);
    EXPECT_EQ(*SummariseLine(held).heldFor, 16ms);

    // The typical reply came at once: the lateness of another was the machine's.
    const std::vector<RateFinding> prompt = {At(9600, RateAnswer::Ziron7, 2ms)};
    EXPECT_FALSE(SummariseLine(prompt).heldFor);
    const std::vector<RateFinding> atTheSign = {At(9600, RateAnswer::Ziron7, kHeldReplySign)};
    EXPECT_TRUE(SummariseLine(atTheSign).heldFor);
}

TEST(LineVerdict, ASearchThatGaveUpIsToldByWhatItHeard) {
    EXPECT_EQ(VerdictOfSearch(CPortDlg::LineHeard::Nothing), LineVerdict::NoAnswer);
    EXPECT_EQ(VerdictOfSearch(CPortDlg::LineHeard::OwnBytes), LineVerdict::OwnEcho);
    EXPECT_EQ(VerdictOfSearch(CPortDlg::LineHeard::AnotherDevice), LineVerdict::ForeignDevice);
}

}  // namespace
