// Each fault flag of the simulated instrument does what it says.
#include "AccessCode.h"
#include "CommandSet.h"
#include "SimHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>

namespace simtest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kBootloaderBit = 0x02;

struct Sim {
    TempDir dir;
    SimProcess process;
    LineClient line;

    Sim(std::vector<std::string> arguments, std::uint32_t rate = 9600)
        : process(dir, WithSeed(std::move(arguments))), line(process.EntryPath()) {
        line.SetRate(rate);
    }
    static std::vector<std::string> WithSeed(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--firmware", "/dev/null", "--seed", "7"});
        return arguments;
    }
    Bytes AskPayload(Bytes request) {
        const auto reply = line.Ask(std::move(request));
        EXPECT_TRUE(reply && Intact(*reply));
        return reply ? Payload(*reply) : Bytes{};
    }
};

// Faults that change what one reply says.
struct ReplyFault {
    const char* name;
    std::vector<std::string> arguments;
    Bytes request;
    std::function<void(const Bytes& frame)> check;
};

void PrintTo(const ReplyFault& fault, std::ostream* out) {
    *out << fault.name;
}

class ReplyFaults : public ::testing::TestWithParam<ReplyFault> {};

TEST_P(ReplyFaults, ShowInTheReply) {
    Sim sim(GetParam().arguments);
    const auto reply = sim.line.Ask(GetParam().request);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(Intact(*reply));
    GetParam().check(*reply);
}

std::string DateOf(const Bytes& frame) {
    const Bytes payload = Payload(frame);
    return std::string(payload.begin(), payload.end());
}

INSTANTIATE_TEST_SUITE_P(
    Flags, ReplyFaults,
    ::testing::Values(ReplyFault{"device_type",
                                 {"--device-type", "2"},
                                 Identify(),
                                 [](const Bytes& f) { EXPECT_EQ(Payload(f)[0], 2); }},
                      ReplyFault{"device_type_in_info",
                                 {"--device-type", "2"},
                                 Info(2),
                                 [](const Bytes& f) {
                                     EXPECT_THAT(Payload(f),
                                                 ElementsAre(2, 0, 0xFF, 0xFF, 0, 0, 0, 0));
                                 }},
                      ReplyFault{"reply_bit7",
                                 {"--reply-bit7"},
                                 Status(),
                                 [](const Bytes& f) { EXPECT_EQ(f[1], CMD_STATUS | 0x80); }},
                      ReplyFault{"bad_signature",
                                 {"--bad-signature"},
                                 SwitchProgram(),
                                 [](const Bytes& f) {
                                     EXPECT_THAT(
                                         Payload(f),
                                         ElementsAre(static_cast<std::uint8_t>(~kAccessCode[0])));
                                 }},
                      ReplyFault{"later_date",
                                 {"--firmware-date", "later"},
                                 Info(0),
                                 [](const Bytes& f) { EXPECT_EQ(DateOf(f), "Dec 31 2099"); }},
                      ReplyFault{"older_date",
                                 {"--firmware-date", "older"},
                                 Info(0),
                                 [](const Bytes& f) { EXPECT_EQ(DateOf(f), "Jan 01 2000"); }},
                      ReplyFault{"unparseable_date",
                                 {"--firmware-date", "unparseable"},
                                 Info(0),
                                 [](const Bytes& f) { EXPECT_EQ(DateOf(f), "??? ?? ????"); }}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(DateFaults, ShiftTheSeedsYear) {
    TempDir dir;
    Bytes seed(200, 0);
    std::memcpy(seed.data() + 140, "Jun 20 2011", 12);
    std::memcpy(seed.data() + 152, "09:15:48", 9);
    WriteFile(dir / "seed.bin", seed);
    for (const auto& [when, expected] :
         {std::pair{"older", "Jun 20 2010"}, std::pair{"same", "Jun 20 2011"},
          std::pair{"later", "Jun 20 2012"}}) {
        SimProcess sim(dir, {"--firmware", dir / "seed.bin", "--firmware-date", when});
        LineClient line(sim.EntryPath());
        line.SetRate(9600);
        const auto reply = line.Ask(Info(0));
        ASSERT_TRUE(reply) << when;
        EXPECT_EQ(DateOf(*reply), expected) << when;
    }
}

TEST(ProgramFaults, NeverEnterAcknowledgesButStaysInTheMainProgram) {
    Sim sim({"--never-enter"});
    EXPECT_THAT(sim.AskPayload(SwitchProgram()), ElementsAre(kAccessCode[0]));
    EXPECT_THAT(sim.AskPayload(Status()), ElementsAre(0));
    sim.line.SetRate(38400);
    EXPECT_FALSE(sim.line.Ask(Status(), kSilenceWait));
}

TEST(ProgramFaults, NeverLeaveKeepsTheBootloaderRunning) {
    Sim sim({"--never-leave", "--start-in-bootloader"}, 38400);
    sim.line.Send(SwitchProgram());
    EXPECT_THAT(sim.AskPayload(Status()), ElementsAre(kBootloaderBit));
}

TEST(ProgramFaults, StartInBootloaderListensAt38400Only) {
    Sim sim({"--start-in-bootloader", "--baud", "9600"});
    EXPECT_FALSE(sim.line.Ask(Status(), kSilenceWait));
    sim.line.SetRate(38400);
    EXPECT_THAT(sim.AskPayload(Status()), ElementsAre(kBootloaderBit));
}

TEST(ProgramFaults, LoseSwitchInLosesTheFirstSwitchesOnly) {
    Sim sim({"--lose-switch-in", "2"});
    for (int lost = 0; lost < 2; ++lost) {
        EXPECT_FALSE(sim.line.Ask(SwitchProgram(), kSilenceWait)) << lost;
        EXPECT_THAT(sim.AskPayload(Status()), ElementsAre(0));
    }
    EXPECT_THAT(sim.AskPayload(SwitchProgram()), ElementsAre(kAccessCode[0]));
    sim.line.SetRate(38400);
    EXPECT_THAT(sim.AskPayload(Status()), ElementsAre(kBootloaderBit));
}

TEST(ProgramFaults, InformationFaultsSpoilOrWithholdTheReplies) {
    Sim spoilt({"--info-bad-checksum"});
    const auto reply = spoilt.line.Ask(Info(0));
    ASSERT_TRUE(reply);
    EXPECT_FALSE(Intact(*reply));
    EXPECT_TRUE(spoilt.line.Ask(Status()) && Intact(*spoilt.line.Ask(Status())));

    Sim older({"--info-unanswered", "2"});
    EXPECT_TRUE(older.line.Ask(Info(1)));
    EXPECT_FALSE(older.line.Ask(Info(2), kSilenceWait));
}

// What bytes 1-2 of the bootloader's replies hold, by --boot-echo.
TEST(ProgramFaults, BootEchoFillsBytesOneAndTwoOfBootloaderReplies) {
    const Bytes readBack = Loader(BL_READ_BACK, 0x0180);
    Sim echoing({"--start-in-bootloader"}, 38400);
    const Bytes echoed = echoing.AskPayload(readBack);
    ASSERT_EQ(echoed.size(), 3u + 128u);
    EXPECT_EQ(echoed[1], 0x80);
    EXPECT_EQ(echoed[2], 0x01);

    Sim zero({"--start-in-bootloader", "--boot-echo", "zero"}, 38400);
    const Bytes zeroPayload = zero.AskPayload(readBack);
    ASSERT_EQ(zeroPayload.size(), 3u + 128u);
    EXPECT_EQ(zeroPayload[0], BL_READ_BACK);
    EXPECT_EQ(zeroPayload[1], 0);
    EXPECT_EQ(zeroPayload[2], 0);

    Sim random({"--start-in-bootloader", "--boot-echo", "random"}, 38400);
    std::set<std::pair<int, int>> seen;
    for (int ask = 0; ask < 4; ++ask) {
        const Bytes payload = random.AskPayload(readBack);
        ASSERT_EQ(payload.size(), 3u + 128u);
        seen.insert({payload[1], payload[2]});
    }
    EXPECT_GT(seen.size(), 1u) << "the bytes change from reply to reply";
}

TEST(ProgramFaults, SilentAfterAnswersTheFirstFramesOnly) {
    Sim sim({"--silent-after", "2"});
    EXPECT_TRUE(sim.line.Ask(Identify()));
    EXPECT_TRUE(sim.line.Ask(Status()));
    EXPECT_FALSE(sim.line.Ask(Identify(), kSilenceWait));
}

TEST(ProgramFaults, HangupClosesTheLineAndEnds) {
    Sim sim({"--hangup-after", "1"});
    EXPECT_TRUE(sim.line.Ask(Identify()));
    sim.line.Send(Identify());
    sim.line.Collect(milliseconds(1000));
    EXPECT_LE(sim.line.LastRead(), 0) << "the line hung up";
    const int status = sim.process.WaitForExit(milliseconds(5000));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(::access(sim.process.EntryPath().c_str(), F_OK), 0);
}

TEST(ProgramFaults, StallStopsReadingAndKeepsTheLineFull) {
    Sim sim({"--stall-after", "1"});
    EXPECT_TRUE(sim.line.Ask(Identify()));
    sim.line.Send(Identify());
    EXPECT_FALSE(sim.line.Receive(kSilenceWait)) << "no answer once stalled";
    EXPECT_FALSE(sim.line.Writable(milliseconds(300))) << "the line takes nothing more";
}

TEST(WireFaults, DuplicateSendsEachReplyTwice) {
    Sim sim({"--duplicate", "1"});
    const auto first = sim.line.Ask(Identify());
    const auto second = sim.line.Receive();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, *second);
    EXPECT_FALSE(sim.line.Receive(kSilenceWait));
}

// Lower bounds only: a loaded machine may be slower, never faster.
TEST(WireFaults, DelayHoldsEachReplyBack) {
    Sim sim({"--delay", "400"});
    const auto start = Clock::now();
    sim.line.Send(Identify());
    EXPECT_FALSE(sim.line.Receive(kSilenceWait));
    EXPECT_TRUE(sim.line.Receive());
    EXPECT_GE(Clock::now() - start, milliseconds(400));
}

TEST(WireFaults, PaceTakesTheWireTimeOfALoadHalfFrame) {
    Sim sim({"--pace", "--start-in-bootloader"}, 38400);
    const auto start = Clock::now();
    const auto reply = sim.line.Ask(Loader(BL_LOAD_HALF, 0, Bytes(128, 0x55)));
    ASSERT_TRUE(reply);
    // 142 bytes in and 8 bytes out, 10 bit times each at 38400 baud.
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(150 * 10 * 1'000'000LL / 38400));
}

struct LossCase {
    const char* flag;
    bool bytesArrive;  // something comes back, but not the reply
};

class LossyWire : public ::testing::TestWithParam<LossCase> {};

TEST_P(LossyWire, AtCertaintyNoReplyGetsThrough) {
    Sim sim({GetParam().flag, "1"});
    sim.line.Send(Identify());
    const Bytes received = sim.line.Collect();
    if (GetParam().bytesArrive) {
        ASSERT_EQ(received.size(), 10U);
        EXPECT_FALSE(Intact(received));
    } else {
        EXPECT_TRUE(received.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Flags, LossyWire,
                         ::testing::Values(LossCase{"--flip-in", false},
                                           LossCase{"--drop-in", false},
                                           LossCase{"--flip-out", true},
                                           LossCase{"--drop-out", false}));

TEST(WireFaults, TheSameSeedFlipsTheSameBits) {
    auto corrupted = [] {
        Sim sim({"--flip-out", "0.5"});
        Bytes all;
        for (int i = 0; i < 4; ++i) {
            sim.line.Send(Identify());
            const Bytes got = sim.line.Collect(milliseconds(300));
            all.insert(all.end(), got.begin(), got.end());
        }
        return all;
    };
    const Bytes first = corrupted();
    EXPECT_EQ(first.size(), 40U);
    EXPECT_EQ(first, corrupted());
}

class Noise : public ::testing::TestWithParam<const char*> {};

// The updater changes its rate while a delayed reply is still due: the reply
// leaves at the instrument's rate and the updater's UART cannot read it.
TEST_P(Noise, AReplyAtAnotherRateIsNotReceivedIntact) {
    Sim sim({"--delay", "300", "--noise", GetParam()});
    sim.line.Send(Identify());
    // The instrument must have taken the request before the rate changes.
    ASSERT_TRUE(sim.line.Collect(milliseconds(100)).empty());
    sim.line.SetRate(19200);
    const Bytes received = sim.line.Collect(milliseconds(500));
    if (std::string(GetParam()) == "drop") {
        EXPECT_TRUE(received.empty());
    } else {
        ASSERT_EQ(received.size(), 10U);
        EXPECT_FALSE(Intact(received));
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, Noise, ::testing::Values("drop", "random"));

class StuckBits : public ::testing::TestWithParam<int> {};

// A pass ends with the final query; the stuck bits show in the first
// --stuck-passes passes, or in all of them when it is 0.
TEST_P(StuckBits, ShowInTheFirstPassesOnly) {
    const int passes = GetParam();
    Sim sim({"--start-in-bootloader", "--stuck", "0x0105:0x10", "--stuck", "0x1A0",
             "--stuck-passes", std::to_string(passes)},
            38400);
    for (int pass = 1; pass <= 3; ++pass) {
        const Bytes block = sim.AskPayload(Loader(BL_READ_BACK, 0x0100));
        const Bytes next = sim.AskPayload(Loader(BL_READ_BACK, 0x0180));
        ASSERT_EQ(block.size(), 131U);
        ASSERT_EQ(next.size(), 131U);
        const bool stuck = passes == 0 || pass <= passes;
        EXPECT_EQ(block[3 + 5], stuck ? 0xFF ^ 0x10 : 0xFF) << pass;
        EXPECT_EQ(next[3 + 0x1A0 - 0x180], stuck ? 0xFF ^ 0x01 : 0xFF) << pass;
        EXPECT_EQ(block[3 + 6], 0xFF) << pass;
        sim.AskPayload(Loader(BL_READ_BACK, kFinalQueryAddress));
    }
}

INSTANTIATE_TEST_SUITE_P(Passes, StuckBits, ::testing::Values(2, 0));

}  // namespace
}  // namespace simtest
