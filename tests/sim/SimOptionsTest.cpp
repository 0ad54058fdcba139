// The simulator's command line: the reply delays per kind of request, and
// the stale bytes left in the updater's input.
#include "SimOptions.h"
#include "StaleInput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sim::ReplyKind;

struct Parsed {
    sim::ParseOutcome outcome;
    sim::SimOptions options;
    std::string error;
};

Parsed Parse(std::vector<const char*> words) {
    words.insert(words.begin(), "ziron7-sim");
    Parsed parsed;
    parsed.outcome = sim::ParseSimOptions(static_cast<int>(words.size()), words.data(),
                                          parsed.options, parsed.error);
    return parsed;
}

TEST(ReplyDelays, EachKindTakesItsOwnAndTheRestKeepDelayWhateverTheOrder) {
    for (const auto& words : {std::vector<const char*>{"--status-delay", "300", "--delay", "40",
                                                       "--info-delay=4900"},
                              std::vector<const char*>{"--info-delay", "4900", "--delay", "40",
                                                       "--status-delay", "300"}}) {
        const Parsed parsed = Parse(words);
        ASSERT_EQ(parsed.outcome, sim::ParseOutcome::Run) << parsed.error;
        EXPECT_EQ(sim::ReplyDelayMs(parsed.options, ReplyKind::Identify), 40);
        EXPECT_EQ(sim::ReplyDelayMs(parsed.options, ReplyKind::Status), 300);
        EXPECT_EQ(sim::ReplyDelayMs(parsed.options, ReplyKind::Information), 4900);
        EXPECT_EQ(sim::ReplyDelayMs(parsed.options, ReplyKind::Loader), 40);
    }
}

TEST(ReplyDelays, AKindSetToZeroIsPromptBesideALateDelay) {
    const Parsed parsed = Parse({"--delay", "700", "--loader-delay", "0"});
    ASSERT_EQ(parsed.outcome, sim::ParseOutcome::Run) << parsed.error;
    EXPECT_EQ(sim::ReplyDelayMs(parsed.options, ReplyKind::Loader), 0);
    EXPECT_EQ(sim::ReplyDelayMs(parsed.options, ReplyKind::Status), 700);
}

TEST(ReplyDelays, OutOfRangeOrMalformedDelaysAreRefused) {
    for (const char* name : {"--status-delay", "--info-delay", "--loader-delay"}) {
        for (const char* value : {"-1", "60001", "5s", ""}) {
            const Parsed parsed = Parse({name, value});
            EXPECT_EQ(parsed.outcome, sim::ParseOutcome::Error) << name << " " << value;
            EXPECT_NE(parsed.error.find(name), std::string::npos) << parsed.error;
        }
        EXPECT_EQ(Parse({name}).outcome, sim::ParseOutcome::Error) << name << " without a value";
        EXPECT_EQ(Parse({name, "60000"}).outcome, sim::ParseOutcome::Run) << name;
        EXPECT_NE(std::string(sim::SimUsage()).find(name), std::string::npos) << "--help names it";
    }
}

TEST(StaleInput, TakesACountWithinWhatAPseudoTerminalHolds) {
    const Parsed parsed = Parse({"--stale-input", "48"});
    ASSERT_EQ(parsed.outcome, sim::ParseOutcome::Run) << parsed.error;
    EXPECT_EQ(parsed.options.staleInputBytes, 48);
    for (const char* value : {"0", "2049", "many"}) {
        EXPECT_EQ(Parse({"--stale-input", value}).outcome, sim::ParseOutcome::Error) << value;
    }
    EXPECT_NE(std::string(sim::SimUsage()).find("--stale-input"), std::string::npos);
}

// They start like an old identify reply, so that a reader takes them for
// a frame's beginning, are as many as asked, and the same for a seed.
TEST(StaleInput, BeginLikeAnOldReplyAndAreTheSameForASeed) {
    const std::vector<std::uint8_t> stale = sim::StaleInputBytes(48, 7);
    ASSERT_EQ(stale.size(), 48U);
    EXPECT_EQ(stale[0], 0xFE);
    EXPECT_EQ(stale[1], 0xC6);
    EXPECT_EQ(stale, sim::StaleInputBytes(48, 7));
    EXPECT_NE(stale, sim::StaleInputBytes(48, 8));
    EXPECT_EQ(sim::StaleInputBytes(2, 7), (std::vector<std::uint8_t>{0xFE, 0xC6}));
}

// Our own identify requests, as the updater seals them, come ahead of the
// stale bytes.
TEST(StaleInput, OurRequestsComeFirstAsTheUpdaterSendsThem) {
    const Parsed parsed = Parse({"--stale-requests", "2", "--stale-input", "3", "--seed", "7"});
    ASSERT_EQ(parsed.outcome, sim::ParseOutcome::Run) << parsed.error;
    const std::vector<std::uint8_t> request = {0xFE, 0x46, 0x00, 0x22, 0x50};
    std::vector<std::uint8_t> expected = request;
    expected.insert(expected.end(), request.begin(), request.end());
    const std::vector<std::uint8_t> noise = sim::StaleInputBytes(3, 7);
    expected.insert(expected.end(), noise.begin(), noise.end());
    EXPECT_EQ(sim::StaleInput(parsed.options), expected);
    for (const char* value : {"0", "9"}) {
        EXPECT_EQ(Parse({"--stale-requests", value}).outcome, sim::ParseOutcome::Error) << value;
    }
}

}  // namespace
