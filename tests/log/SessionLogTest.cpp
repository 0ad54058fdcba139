// What the session log holds after a run: the instrument's identity as it
// told it, every line and box, the figures, and the newest frames with the
// access code masked wherever it could show.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "AccessCode.h"
#include "CommandSet.h"
#include "RunFacts.h"
#include "SealedFrame.h"
#include "SessionEventsFanOut.h"
#include "SessionLog.h"
#include "TempDir.h"
#include "WireHistory.h"

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;
using testsupport::Sealed;

std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::uint8_t> SwitchRequest() {
    return Sealed(BuildSwitchRequest(kAccessCode));
}

std::string CodeAsHex() {
    std::string hex;
    for (const std::uint8_t byte : kAccessCode) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%s%02X", hex.empty() ? "" : " ", byte);
        hex += pair;
    }
    return hex;
}

TEST(MaskedHexTest, BootloaderFramesHideTheCodeAndTheCrc) {
    EXPECT_EQ(MaskedHex(SwitchRequest(), kAccessCode), "FE 6D 09 ** ** ** ** ** ** 07 00 00 ** **");
    // The acknowledgement's signature byte is the code's first byte.
    EXPECT_EQ(MaskedHex(Sealed({0xFE, CMD_LOADER | kReplyFlagBit, 1, kAccessCode[0]}), kAccessCode),
              "FE ED 01 ** ** **");
    EXPECT_EQ(MaskedHex(Sealed({0xFE, CMD_IDENTIFY, 0}), kAccessCode), "FE 46 00 22 50");
}

TEST(MaskedHexTest, TheCodeIsHiddenWhereverItShowsAndShortFramesAreSafe) {
    // An echo of a request on a line that also garbled its command byte.
    std::vector<std::uint8_t> echo = SwitchRequest();
    echo[kFrameCommandIndex] = CMD_STATUS;
    EXPECT_THAT(MaskedHex(echo, kAccessCode), HasSubstr("FE 4A 09 ** ** ** ** ** ** 07 00 00"));
    EXPECT_EQ(MaskedHex(std::vector<std::uint8_t>{0xFE, CMD_LOADER}, kAccessCode), "** **");
    EXPECT_EQ(MaskedHex({}, kAccessCode), "");
}

TEST(WireHistoryTest, KeepsTheNewestFramesOldestFirst) {
    WireHistory history(kAccessCode);
    for (std::uint8_t step = 0; step < 250; ++step) {
        history.Record(step, WireDirection::Sent, Sealed({0xFE, CMD_INFO, 1, step}));
    }
    history.Record(250, WireDirection::FailedChecksum,
                   std::vector<std::uint8_t>{0xFE, 0x4A, 0, 1, 2});
    EXPECT_EQ(history.Size(), kKeptFrames);
    std::istringstream lines(history.Render());
    std::string first;
    std::getline(lines, first);
    EXPECT_THAT(first, testing::StartsWith("[      51 ms] TX FE 6C 01 33 "));
    std::string line;
    std::string last;
    while (std::getline(lines, line)) {
        last = line;
    }
    EXPECT_EQ(last, "[     250 ms] RX bad checksum FE 4A 00 01 02");
}

// The log as a run has it: beside the run's facts, which hear every event
// first and which its closing sections write.
class SessionLogTest : public testing::Test {
protected:
    testsupport::TempDir m_dir;
    RunFacts m_facts;
    SessionLog m_log{m_dir.Path(), {"1.0", "Dec  8 2026 22:00:00"}, m_facts};
    SessionEventsFanOut m_run{&m_facts, &m_log};

    // The search finds the instrument at 19200 baud; the update reads the
    // firmware's identity.
    void FindAndIdentify() {
        m_run.OnPortOpened("\\\\.\\COM3");
        m_run.OnLineConfigured(19200);
        m_run.OnFrameSent(Sealed({0xFE, CMD_IDENTIFY, 0}));
        m_run.OnInstrumentFound(kFound);
        m_run.OnLogLine("Зирон-7 найден. Скорость 19200");
        m_run.OnFirmwareRead({"Jun 20 2011", "09:15:48", true, 3, 6, 5});
    }

    static constexpr FoundInstrument kFound{kZiron7DeviceType, 12345, 2011, 7, 19200};
};

TEST_F(SessionLogTest, ARunLeavesTheIdentityTheLinesTheFiguresAndNoAccessCode) {
    FindAndIdentify();
    const fs::path renamed = m_log.FilePath();
    EXPECT_THAT(renamed.filename().string(), testing::EndsWith("-SN12345.log"));
    m_run.OnFrameSent(SwitchRequest());
    m_run.OnFrameReceived(Sealed({0xFE, CMD_LOADER, 1, kAccessCode[0]}));
    m_run.OnLineConfigured(38400);
    m_run.OnRequestRepeated();
    m_run.OnRequestRepeated();
    m_run.OnChecksumFailed(std::vector<std::uint8_t>{0xFE, 0x4A, 0, 0, 0});
    m_run.OnVerification(false);
    m_run.OnVerification(true);
    m_run.OnMessageBox("Невозможно выйти из загрузчика!\nВыключите питание\n");
    m_run.OnUpdateEnded(1, true);
    m_log.Finish();
    m_run.OnLogLine("after the end");

    const std::string text = Read(m_log.FilePath());
    EXPECT_THAT(text, testing::StartsWith("Зирон-7 firmware updater: session log\n"
                                          "program: version 1.0, built Dec  8 2026 22:00:00\n"));
    for (const char* expected :
         {"port: \\\\.\\COM3\n", "rate found: 19200 baud\n", "device type: 3\n",
          "serial number: 12345\n", "date of manufacture: 7/2011\n", "firmware version: 6\n",
          "firmware build time: Jun 20 2011 09:15:48\n", "reprogrammings: 5\n",
          "] instrument found: type 3, serial number 12345, made 7/2011, answering at 19200 baud "
          "on \\\\.\\COM3\n",
          "] firmware in the instrument: version 6 built Jun 20 2011 09:15:48, type 3, "
          "reprogrammings 5\n",
          "] log: Зирон-7 найден. Скорость 19200\n", "] line set to 38400 baud\n",
          "] box: Невозможно выйти из загрузчика!\\nВыключите питание\n",
          "outcome: completed: the firmware passed verification\n", "repeated requests: 2\n",
          "failed checksums: 1 during the update, 0 during the search\n",
          "verification failures: 1\n", "verification passes: 1\n",
          "] TX FE 6D 09 ** ** ** ** ** ** 07 00 00 ** **\n", "] RX FE 6D 01 ** ** **\n",
          "] RX bad checksum FE 4A 00 00 00\n"}) {
        EXPECT_THAT(text, HasSubstr(expected));
    }
    EXPECT_THAT(text, Not(HasSubstr(CodeAsHex())));
    EXPECT_THAT(text, Not(HasSubstr("after the end")));
}

TEST_F(SessionLogTest, ARunWithoutTheOperatorsOkSaysSo) {
    m_run.OnPortOpened("\\\\.\\COM1");
    m_run.OnMessageBox("Нет связи с Зирон-7!");
    m_run.OnLineConclusion("own_echo", "only our own bytes come back:\na loopback plug");
    m_log.Finish();
    const std::string text = Read(m_log.FilePath());
    EXPECT_THAT(text, HasSubstr("] line: own_echo: only our own bytes come back:\\na loopback plug\n"));
    EXPECT_THAT(text, HasSubstr("outcome: no update: the port dialog ended without OK\n"));
    EXPECT_THAT(text, HasSubstr("== instrument ==\nport: \\\\.\\COM1\nnot found\n"));
}

// The log tells what the dialogs took, never its own reading of the
// frames: replies on the wire alone name no instrument and no firmware.
TEST_F(SessionLogTest, FramesOnTheWireAloneTellNoIdentity) {
    m_run.OnPortOpened("\\\\.\\COM3");
    m_run.OnFrameReceived(
        Sealed({0xFE, CMD_IDENTIFY | kReplyFlagBit, 5, kZiron7DeviceType, 11, 7, 0x39, 0x30}));
    m_run.OnFrameSent(Sealed(BuildInfoRequest(kInfoStepIdentity)));
    m_run.OnFrameReceived(Sealed({0xFE, CMD_INFO, 8, 3, 0, 6, 0, 5, 0, 0, 0}));
    m_log.Finish();
    EXPECT_FALSE(m_facts.InstrumentIdentity().serialNumber);
    const std::string text = Read(m_log.FilePath());
    EXPECT_THAT(text, HasSubstr("== instrument ==\nport: \\\\.\\COM3\nnot found\n"));
    EXPECT_THAT(text, Not(HasSubstr("instrument found")));
}

TEST_F(SessionLogTest, AnotherInstrumentOrRateIsNotedAndTheLastOneFoundStands) {
    m_run.OnPortOpened("\\\\.\\COM3");
    m_run.OnInstrumentFound(kFound);
    const fs::path first = m_log.FilePath();
    FoundInstrument atAnotherRate = kFound;
    atAnotherRate.baudRate = 38400;
    m_run.OnInstrumentFound(atAnotherRate);
    EXPECT_EQ(m_log.FilePath(), first) << "the same serial number keeps the file's name";
    FoundInstrument another = atAnotherRate;
    another.serialNumber = 321;
    m_run.OnInstrumentFound(another);
    EXPECT_THAT(m_log.FilePath().filename().string(), testing::EndsWith("-SN321.log"));
    m_log.Finish();
    const std::string text = Read(m_log.FilePath());
    EXPECT_THAT(text, HasSubstr("serial number 12345, made 7/2011, answering at 19200 baud"));
    EXPECT_THAT(text, HasSubstr("serial number 12345, made 7/2011, answering at 38400 baud"));
    EXPECT_THAT(text, HasSubstr("rate found: 38400 baud\ndevice type: 3\nserial number: 321\n"));
}

// An identity reply too short for its fields: the dialog decided by the
// build time alone, and the log claims no version it was not told.
TEST_F(SessionLogTest, FirmwareWithoutItsIdentityFieldsIsNotRead) {
    m_run.OnPortOpened("\\\\.\\COM3");
    m_run.OnInstrumentFound(kFound);
    m_run.OnFirmwareRead({"Jun 20 2011", "09:15:48", false, 0, 0, 0});
    m_log.Finish();
    const std::string text = Read(m_log.FilePath());
    EXPECT_THAT(text, HasSubstr("date of manufacture: 7/2011\nfirmware: not read\n"));
    EXPECT_THAT(text, Not(HasSubstr("firmware in the instrument")));
}

}  // namespace
