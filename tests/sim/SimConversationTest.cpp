// The simulated instrument answers the conversations of a whole update the
// way the command set and the bootloader frames describe them.
#include "AccessCode.h"
#include "CommandSet.h"
#include "Crc16.h"
#include "SimHarness.h"
#include "SimTranscript.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>

namespace simtest {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

constexpr std::array<std::uint32_t, 6> kRates = {4800, 9600, 19200, 38400, 57600, 115200};
constexpr std::uint8_t kBootloaderBit = 0x02;

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class IdentifyAtRate : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(IdentifyAtRate, AnsweredAtTheMainProgramsRateOnly) {
    TempDir dir;
    SimProcess sim(dir, {"--firmware", "/dev/null", "--baud", std::to_string(GetParam())});
    ASSERT_THAT(sim.ReadyLine(), HasSubstr("ready COM1 /dev/pts/"));
    LineClient line(sim.EntryPath());
    ASSERT_TRUE(line.IsOpen());
    for (const std::uint32_t rate : kRates) {
        line.SetRate(rate);
        if (rate == GetParam()) {
            const auto reply = line.Ask(Identify());
            ASSERT_TRUE(reply) << rate;
            EXPECT_TRUE(Intact(*reply));
            EXPECT_EQ((*reply)[1], CMD_IDENTIFY);
            EXPECT_THAT(Payload(*reply), ElementsAre(3, 11, 7, 0x39, 0x30));
        } else {
            EXPECT_FALSE(line.Ask(Identify(), kSilenceWait)) << "answered at " << rate;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MainRates, IdentifyAtRate, ::testing::Values(4800, 38400, 115200));

struct Session {
    TempDir dir;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<LineClient> line;

    void Start(std::vector<std::string> arguments, std::uint32_t clientRate = 9600) {
        sim = std::make_unique<SimProcess>(dir, std::move(arguments));
        ASSERT_THAT(sim->ReadyLine(), HasSubstr("ready"));
        line = std::make_unique<LineClient>(sim->EntryPath());
        ASSERT_TRUE(line->IsOpen());
        line->SetRate(clientRate);
    }
    Bytes AskPayload(Bytes request) {
        const auto reply = line->Ask(std::move(request));
        EXPECT_TRUE(reply && Intact(*reply));
        return reply ? Payload(*reply) : Bytes{};
    }
    void EnterBootloader() {
        EXPECT_THAT(AskPayload(SwitchProgram()), ElementsAre(kAccessCode[0]));
        line->SetRate(38400);
    }
};

TEST(SimInformation, ReportsTheHeaderOfItsFlash) {
    Session session;
    WriteFile(session.dir / "seed.bin", MakeImage(400, "Jun 20 2011", "09:15:48", 6, 1));
    session.Start({"--firmware", session.dir / "seed.bin", "--firmware-date", "same",
                   "--reprogrammings", "5", "--serial", "777", "--year", "2012", "--month", "3"});
    EXPECT_EQ(Text(session.AskPayload(Info(0))), "Jun 20 2011");
    EXPECT_EQ(Text(session.AskPayload(Info(1))), "09:15:48");
    EXPECT_THAT(session.AskPayload(Info(2)), ElementsAre(3, 0, 6, 0, 5, 0, 0, 0));
    EXPECT_THAT(session.AskPayload(Identify()), ElementsAre(3, 12, 3, 0x09, 0x03));
    EXPECT_THAT(session.AskPayload(Status()), ElementsAre(0));
}

TEST(SimInformation, NewFlashFromTheEmbeddedFirmwareIsOneYearOlder) {
    const Bytes embedded = ReadFile(ZIRON7_FIRMWARE_PATH);
    ASSERT_GT(embedded.size(), 165U);
    std::string expected(embedded.begin() + 140, embedded.begin() + 151);
    expected.replace(7, 4, std::to_string(std::stoi(expected.substr(7, 4)) - 1));
    Session session;
    session.Start({});
    EXPECT_EQ(Text(session.AskPayload(Info(0))), expected);
    EXPECT_EQ(Text(session.AskPayload(Info(1))),
              std::string(embedded.begin() + 152, embedded.begin() + 160));
}

TEST(SimSwitch, AcknowledgesAtTheMainRateThenRunsTheBootloaderAt38400) {
    Session session;
    session.Start({"--firmware", "/dev/null", "--baud", "9600"});
    const auto acknowledgement = session.line->Ask(SwitchProgram());
    ASSERT_TRUE(acknowledgement);
    EXPECT_EQ((*acknowledgement)[1], CMD_LOADER);
    EXPECT_THAT(Payload(*acknowledgement), ElementsAre(kAccessCode[0]));
    EXPECT_FALSE(session.line->Ask(Status(), kSilenceWait)) << "still listening at 9600";
    session.line->SetRate(38400);
    EXPECT_THAT(session.AskPayload(Status()), ElementsAre(kBootloaderBit));
    EXPECT_THAT(session.AskPayload(Identify()), ElementsAre(3, 11, 7, 0x39, 0x30));
    EXPECT_FALSE(session.line->Ask(Info(0), kSilenceWait)) << "the bootloader has no information";
}

TEST(SimAccessCode, AWrongCodeIsIgnoredByBothPrograms) {
    Session session;
    session.Start({"--firmware", "/dev/null"});
    std::array<std::uint8_t, 6> wrong = kAccessCode;
    wrong[5] ^= 0x01;
    EXPECT_FALSE(session.line->Ask(LoaderWithCode(wrong, BL_SWITCH, 0), kSilenceWait));
    EXPECT_THAT(session.AskPayload(Status()), ElementsAre(0)) << "still in the main program";

    session.EnterBootloader();
    EXPECT_FALSE(session.line->Ask(LoaderWithCode(wrong, BL_READ_BACK, 0), kSilenceWait));
    EXPECT_FALSE(session.line->Ask(LoaderWithCode(wrong, BL_SWITCH, 0), kSilenceWait));
    EXPECT_THAT(session.AskPayload(Status()), ElementsAre(kBootloaderBit));
    EXPECT_EQ(session.AskPayload(Loader(BL_READ_BACK, 0)).size(), 3U + 128U);
}

// Writes `image` page by page the way the updater does, then finishes.
void WriteImage(Session& session, const Bytes& image) {
    const std::size_t end = image.size() | 0xFF;
    for (std::size_t page = 0; page <= end; page += 256) {
        for (const std::uint16_t half : {std::uint16_t{0}, std::uint16_t{128}}) {
            Bytes data(128, 0xFF);
            for (std::size_t i = 0; i < 128 && page + half + i < image.size(); ++i) {
                data[i] = image[page + half + i];
            }
            const Bytes reply = session.AskPayload(Loader(BL_LOAD_HALF, half, data));
            ASSERT_FALSE(reply.empty());
            EXPECT_EQ(reply[0], BL_LOAD_HALF);
        }
        const Bytes reply =
            session.AskPayload(Loader(BL_PROGRAM_PAGE, static_cast<std::uint16_t>(page)));
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(reply[0], BL_PROGRAM_PAGE);
    }
}

std::uint16_t Checksum(const Bytes& image) {
    Bytes padded(image.size() | 0xFF, 0xFF);
    std::copy(image.begin(), image.end(), padded.begin());
    return ComputeCrc16(padded.data(), padded.size());
}

Bytes Finish(std::uint16_t checksum, std::uint16_t end) {
    const std::array<std::uint8_t, 4> data = {
        static_cast<std::uint8_t>(checksum & 0xFF), static_cast<std::uint8_t>(checksum >> 8),
        static_cast<std::uint8_t>(end & 0xFF), static_cast<std::uint8_t>(end >> 8)};
    return Loader(BL_FINISH, 0, data);
}

// The blocks read back from 0 up to the block that ends at the end value.
Bytes ReadBack(Session& session, std::size_t end) {
    Bytes flash;
    for (std::size_t block = 0; block <= end; block += 128) {
        const Bytes reply =
            session.AskPayload(Loader(BL_READ_BACK, static_cast<std::uint16_t>(block)));
        EXPECT_EQ(reply.size(), 131U);
        if (reply.size() == 131U) {
            flash.insert(flash.end(), reply.begin() + 3, reply.end());
        }
    }
    return flash;
}

Bytes Padded(const Bytes& image) {
    Bytes padded((image.size() | 0xFF) + 1, 0xFF);
    std::copy(image.begin(), image.end(), padded.begin());
    return padded;
}

TEST(SimBootloader, AWholeWriteAndVerifyPassPersistsInTheFlashFile) {
    const Bytes image = MakeImage(512, "Jul 22 2012", "08:07:33", 7, 2);
    const std::uint16_t checksum = Checksum(image);
    const std::uint16_t end = 767;
    Session session;
    WriteFile(session.dir / "seed.bin", MakeImage(300, "Jun 20 2011", "09:15:48", 6, 3));
    const std::string flash = session.dir / "flash.bin";
    session.Start({"--firmware", session.dir / "seed.bin", "--flash", flash});
    session.EnterBootloader();

    WriteImage(session, image);
    EXPECT_THAT(session.AskPayload(Finish(checksum, end)), ElementsAre(BL_FINISH, 0, 0));
    EXPECT_EQ(ReadBack(session, end), Padded(image));
    const Bytes final = session.AskPayload(Loader(BL_READ_BACK, kFinalQueryAddress));
    EXPECT_THAT(final, ElementsAre(BL_READ_BACK, 0x00, 0xFF, checksum & 0xFF, checksum >> 8,
                                   end & 0xFF, end >> 8));

    session.line->Send(SwitchProgram());
    EXPECT_FALSE(session.line->Receive(kSilenceWait)) << "the switch back has no reply";
    session.line->SetRate(9600);
    EXPECT_THAT(session.AskPayload(Status()), ElementsAre(0));
    EXPECT_EQ(Text(session.AskPayload(Info(0))), "Jul 22 2012");
    EXPECT_THAT(session.AskPayload(Info(2)), ElementsAre(3, 0, 7, 0, 1, 0, 0, 0));

    // The next power-up finds what this one wrote, and the bootloader still
    // holds the finished write's checksum and end value.
    session.line.reset();
    session.sim.reset();
    session.Start({"--flash", flash, "--start-in-bootloader"}, 38400);
    EXPECT_EQ(ReadBack(session, end), Padded(image));
    EXPECT_EQ(session.AskPayload(Loader(BL_READ_BACK, kFinalQueryAddress)), final);
    const Bytes file = ReadFile(flash);
    ASSERT_EQ(file.size(), 65536U + 8U);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), file.begin()));
}

TEST(SimBootloader, ASwitchBackWithoutAFinishedWriteIsNoReprogramming) {
    Session session;
    session.Start({"--firmware", "/dev/null", "--reprogrammings", "4"});
    session.EnterBootloader();
    session.line->Send(SwitchProgram());
    EXPECT_TRUE(session.line->Collect().empty()) << "the switch back has no reply";
    session.line->SetRate(9600);
    EXPECT_THAT(session.AskPayload(Info(2)), ElementsAre(3, 0, 0xFF, 0xFF, 4, 0, 0, 0));
}

TEST(SimBootloader, MalformedOperationsAreIgnored) {
    Session session;
    session.Start({"--firmware", "/dev/null", "--start-in-bootloader"}, 38400);
    const Bytes half(128, 0);
    EXPECT_FALSE(session.line->Ask(Loader(BL_LOAD_HALF, 64, half), kSilenceWait));
    EXPECT_FALSE(session.line->Ask(Loader(BL_LOAD_HALF, 0, Bytes(100, 0)), kSilenceWait));
    EXPECT_FALSE(session.line->Ask(Loader(BL_PROGRAM_PAGE, 0x0180), kSilenceWait));
    EXPECT_FALSE(session.line->Ask(Loader(BL_FINISH, 0), kSilenceWait));
    EXPECT_FALSE(session.line->Ask(Loader(99, 0), kSilenceWait));
    EXPECT_THAT(session.AskPayload(Status()), ElementsAre(kBootloaderBit));
}

TEST(SimLine, GarbageNeverStopsTheInstrument) {
    Session session;
    session.Start({"--firmware", "/dev/null"});
    // A length byte beyond any frame, a bad CRC, and a torn frame.
    session.line->SendRaw(std::array<std::uint8_t, 6>{0xFE, 0x46, 0xFF, 1, 2, 3});
    EXPECT_FALSE(session.line->Receive(kSilenceWait));
    session.line->SendRaw(std::array<std::uint8_t, 5>{0xFE, 0x46, 0x00, 0x00, 0x00});
    EXPECT_FALSE(session.line->Receive(kSilenceWait));
    session.line->SendRaw(std::array<std::uint8_t, 2>{0xFE, 0x46});
    EXPECT_FALSE(session.line->Receive(kSilenceWait));
    EXPECT_THAT(session.AskPayload(Identify()), ElementsAre(3, 11, 7, 0x39, 0x30));
}

TEST(SimLine, SurvivesTheUpdaterClosingAndReopeningThePort) {
    Session session;
    session.Start({"--firmware", "/dev/null"});
    for (int round = 0; round < 3; ++round) {
        session.line = std::make_unique<LineClient>(session.sim->EntryPath());
        session.line->SetRate(9600);
        EXPECT_THAT(session.AskPayload(Identify()), ElementsAre(3, 11, 7, 0x39, 0x30)) << round;
    }
}

class EndsOnSignal : public ::testing::TestWithParam<int> {};

TEST_P(EndsOnSignal, CleanlyAndRemovesItsEntry) {
    TempDir dir;
    SimProcess sim(dir, {"--firmware", "/dev/null", "--com", "1"});
    ASSERT_EQ(::access(sim.EntryPath().c_str(), F_OK), 0);
    const int status = sim.Stop(GetParam());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(::access(sim.EntryPath().c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, EndsOnSignal, ::testing::Values(SIGTERM, SIGINT));

TEST(SimTranscript, OneJsonLinePerFrameEachWay) {
    Session session;
    const std::string path = session.dir / "transcript.jsonl";
    session.Start({"--firmware", "/dev/null", "--transcript", path});
    session.AskPayload(Identify());
    session.EnterBootloader();
    session.AskPayload(Status());
    session.sim->Stop(SIGTERM);

    const std::vector<std::string> lines = testsupport::TranscriptLines(path);
    ASSERT_EQ(lines.size(), 6U);
    EXPECT_THAT(
        lines[0],
        HasSubstr(R"("dir":"in","rate":9600,"program":"main","meaning":"identify request")"));
    EXPECT_THAT(lines[0], HasSubstr(R"("hex":"FE 46 00 22 50")"));
    EXPECT_THAT(lines[1], HasSubstr(R"("dir":"out","rate":9600)"));
    EXPECT_THAT(lines[2], HasSubstr(R"("outcome":"starts the bootloader")"));
    EXPECT_THAT(
        lines[3],
        HasSubstr(R"("dir":"out","rate":9600,"program":"main","meaning":"switch acknowledged)"));
    EXPECT_THAT(
        lines[4],
        HasSubstr(R"("dir":"in","rate":38400,"program":"bootloader","meaning":"status request")"));
    EXPECT_THAT(lines[5], HasSubstr(R"("meaning":"status: bootloader")"));
}

TEST(SimOptions, RejectsWhatItCannotBe) {
    for (const char* bad :
         {"--baud=1200", "--stuck=0x10000", "--flip-in=1.5", "--firmware-date=soon",
          "--device-type=258", "--whatever", "--pace=yes"}) {
        TempDir dir;
        SimProcess sim(dir, {bad});
        EXPECT_EQ(sim.ReadyLine(), "") << bad;
        const int status = sim.WaitForExit(milliseconds(5000));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
    }
}

}  // namespace
}  // namespace simtest
