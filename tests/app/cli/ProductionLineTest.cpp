// The end of a production line: the table the person at the line reads and
// the one exit code the script gets for all the instruments.
#include <gmock/gmock.h>

#include <sstream>

#include "CliLanguage.h"
#include "ProductionLine.h"

namespace {

using std::chrono::milliseconds;

InstrumentRow Row(std::string port, Outcome outcome, int exitCode) {
    InstrumentRow row;
    row.port = std::move(port);
    row.outcome = outcome;
    row.exitCode = exitCode;
    return row;
}

InstrumentRow Updated(std::string port, std::uint16_t serialNumber) {
    InstrumentRow row = Row(std::move(port), Outcome::Updated, kExitSuccess);
    row.serialNumber = serialNumber;
    row.firmware.before = FirmwareState{6, "Jun 20 2010 09:15:48"};
    row.firmware.after = FirmwareState{7, "Jun 20 2011 09:15:48"};
    row.wallTime = milliseconds(36811);
    return row;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Characters as a terminal shows them.
std::size_t Width(const std::string& line) {
    std::size_t width = 0;
    for (const char c : line) {
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return width;
}

TEST(ProductionLineTable, EachPortIsARowWithWhatItHeldBeforeAndAfter) {
    InstrumentRow written = Updated("COM1", 1001);
    InstrumentRow unverified = Row("/dev/ttyUSB0 (COM2)", Outcome::NoLink, kExitLinkLost);
    unverified.serialNumber = 1002;
    unverified.firmware.before = FirmwareState{6, "Jun 20 2010 09:15:48"};
    unverified.wallTime = milliseconds(12040);
    const InstrumentRow silent = Row("COM3", Outcome::NoInstrument, kExitNotFound);
    const std::vector<std::string> lines = Lines(ProductionLineTable({written, unverified, silent}));
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_THAT(lines[0], testing::MatchesRegex("port +serial number +firmware before -> after +outcome +seconds"));
    EXPECT_THAT(lines[1], testing::MatchesRegex("COM1 +1001 +6 Jun 20 2010 09:15:48 -> 7 Jun 20 2011 09:15:48 +"
                                                "the new firmware was written and verified +36.8"));
    // Written but not verified: what it holds now is not known.
    EXPECT_THAT(lines[2], testing::MatchesRegex(".* 1002 +6 Jun 20 2010 09:15:48 -> \\? +the link was lost.* 12.0"));
    EXPECT_THAT(lines[3], testing::MatchesRegex("COM3 +- +- +nothing answered +0.0"));
}

class LineInRussian : public ::testing::Test {
protected:
    void SetUp() override { SetCliLanguage(CliLanguage::Russian); }
    void TearDown() override { SetCliLanguage(CliLanguage::English); }
};

TEST_F(LineInRussian, TheTableSpeaksTheRunsLanguageAndKeepsItsColumnsByCharacters) {
    const std::vector<std::string> lines = Lines(ProductionLineTable(
        {Updated("COM1", 1001), Row("COM12", Outcome::ForeignDevice, kExitNotFound)}));
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_THAT(lines[0], testing::StartsWith("порт   серийный номер  микропрограмма до -> после"));
    EXPECT_THAT(lines[2], testing::HasSubstr("ответило устройство другого типа"));
    // The seconds stand right-aligned: every line is as wide as the heading.
    for (const std::string& line : lines) {
        EXPECT_EQ(Width(line), Width(lines[0])) << line;
    }
}

TEST(ProductionLineExitCode, ZeroOnlyWhenEveryInstrumentEndedWellElseTheWorst) {
    const InstrumentRow good = Updated("COM1", 1);
    const InstrumentRow verified = Row("COM2", Outcome::Verified, kExitSuccess);
    EXPECT_EQ(ProductionLineExitCode({good, verified}, false), kExitSuccess);
    EXPECT_EQ(ProductionLineExitCode({good, Row("COM2", Outcome::RefusedLater, kExitRefused),
                                      Row("COM3", Outcome::VerifyFailed, kExitVerifyFailed),
                                      Row("COM4", Outcome::NoLink, kExitLinkLost)},
                                     false),
              kExitVerifyFailed);
    EXPECT_EQ(ProductionLineExitCode({Row("COM1", Outcome::CannotLeave, kExitCannotLeave), good}, false),
              kExitCannotLeave);
    // A port named that holds no instrument is a failure of the line.
    EXPECT_EQ(ProductionLineExitCode({good, Row("COM2", Outcome::NoInstrument, kExitNotFound)}, false),
              kExitNotFound);
    // An interrupt outranks every end of a run.
    EXPECT_EQ(ProductionLineExitCode({Row("COM1", Outcome::CannotLeave, kExitCannotLeave),
                                      Row("COM2", Outcome::Interrupted, kExitTerminated)},
                                     false),
              kExitTerminated);
}

TEST(ProductionLineExitCode, EveryPortPresentCountsOnlyThePortsWithAnInstrument) {
    const std::vector<InstrumentRow> noInstruments = {
        Row("COM1", Outcome::NoInstrument, kExitNotFound), Row("COM2", Outcome::PortBusy, kExitNotFound),
        Row("COM3", Outcome::ForeignDevice, kExitNotFound), Row("COM4", Outcome::OwnEcho, kExitNotFound),
        Row("COM5", Outcome::NoAccess, kExitNotFound)};
    std::vector<InstrumentRow> line = noInstruments;
    line.push_back(Updated("COM6", 1));
    EXPECT_EQ(ProductionLineExitCode(line, true), kExitSuccess);
    line.push_back(Row("COM7", Outcome::LeftInBootloader, kExitLinkLost));
    EXPECT_EQ(ProductionLineExitCode(line, true), kExitLinkLost);
    // No port had one, or there is no port at all: nothing was found.
    EXPECT_EQ(ProductionLineExitCode(noInstruments, true), kExitNotFound);
    EXPECT_EQ(ProductionLineExitCode({}, true), kExitNotFound);
    // Interrupted while it searched: the line was interrupted.
    EXPECT_EQ(ProductionLineExitCode({Row("COM1", Outcome::Interrupted, kExitInterrupted)}, true),
              kExitInterrupted);
}

}  // namespace
