// Whole updates against the simulated instrument: what the operator sees,
// what crossed the line, and what the flash holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "AccessCode.h"
#include "ImageFiles.h"
#include "SimProcess.h"
#include "SimTranscript.h"
#include "UpdateHarness.h"
#include "UpdateMessages.h"

namespace updatetest {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::SizeIs;

constexpr std::int32_t kMainBaud = 9600;
constexpr std::size_t kSmallImageSize = 600;  // three pages: E = 767

const char* const kSucceeded = "Обновление микропрограммы прошло УСПЕШНО";
const char* const kFailed =
    "Обновление прошло НЕУСПЕШНО - рекомендуется обраться в сервисный центр";
const char* const kVerifyFailed = "Проверка микропрограммы НЕУСПЕШНА - ошибка проверки данных";

// Frames the instrument received, from the simulator's transcript.
std::vector<Bytes> ReceivedFrames(const std::string& transcriptPath) {
    std::vector<Bytes> frames;
    for (const std::string& line : testsupport::ReceivedLines(transcriptPath)) {
        frames.push_back(testsupport::FrameOf(line));
    }
    return frames;
}

bool IsLoadHalf(const Bytes& frame) {
    return frame.size() > 9 && frame[0] == 0x00 && frame[1] == CMD_LOADER &&
           frame[9] == BL_LOAD_HALF;
}

struct SimRun {
    testsupport::TempDir dir;
    Bytes imageBytes = testsupport::MakeImage(kSmallImageSize, "Jun 20 2011", "09:15:48", 6, 1);
    CFirmwareImage image{kAccessCodeLow, kAccessCodeHigh, CMD_LOADER};
    ObservedUpdateDlg dialog;
    UpdateOutcome outcome;
    std::vector<Bytes> received;
    Bytes flash;
    std::int32_t portBaud = kMainBaud;  // the rate at which the search found the instrument
    int yesNoAnswer = IDYES;
    // stty settings left on the line by its last user, made before the run.
    std::string leftBySttyArguments;

    // Runs an update against a simulator seeded with `seed` (the image when
    // empty) and the given options, then stops it and reads what it kept.
    void Run(std::vector<std::string> options, const Bytes& seed = {}) {
        const std::string seedPath = dir / "seed.bin";
        testsupport::WriteFile(seedPath, seed.empty() ? imageBytes : seed);
        std::vector<std::string> arguments = {"--firmware",   seedPath,
                                              "--flash",      dir / "flash.bin",
                                              "--transcript", dir / "transcript.jsonl",
                                              "--seed",       "1"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        {
            testsupport::SimProcess sim(dir, arguments);
            ASSERT_THAT(sim.ReadyLine(), HasSubstr("ready COM1"));
            if (!leftBySttyArguments.empty()) {
                const std::string command =
                    "stty -F '" + sim.EntryPath() + "' " + leftBySttyArguments;
                ASSERT_EQ(std::system(command.c_str()), 0) << command;
            }
            ASSERT_TRUE(image.LoadFromBytes(imageBytes));
            outcome = RunUpdate(dialog, dir / "devices", portBaud, image, 100, yesNoAnswer);
        }
        received = ReceivedFrames(dir / "transcript.jsonl");
        flash = testsupport::ReadFile(dir / "flash.bin");
    }

    void ExpectFlashHoldsImage() const {
        ASSERT_GE(flash.size(), imageBytes.size() | 0xFF);
        EXPECT_TRUE(std::equal(imageBytes.begin(), imageBytes.end(), flash.begin()));
        EXPECT_TRUE(std::all_of(flash.begin() + static_cast<long>(imageBytes.size()),
                                flash.begin() + static_cast<long>(imageBytes.size() | 0xFF) + 1,
                                [](std::uint8_t byte) { return byte == 0xFF; }));
    }
};

const char* const kFoundLine = "Зирон-7 найден. Скорость 9600";
const char* const kSerialLine = "Серийный номер 12345. Дата выпуска 7/2011";
const char* const kOlderVersionLine = "Версия программы в приборе №6 от 20/06/2010 09:15:48";
const char* const kSameVersionLine = "Версия программы в приборе №6 от 20/06/2011 09:15:48";
const char* const kTypeLine = "Тип 3 Число перепрошивок 0";

TEST(UpdateWithSim, OlderFirmwareIsWrittenVerifiedAndReported) {
    SimRun run;
    run.Run({});
    EXPECT_THAT(run.outcome.log,
                ElementsAre(kFoundLine, kSerialLine, kOlderVersionLine, kTypeLine,
                            "Переход в загрузчик...", "В загрузчике", "Завершена запись FLASH",
                            kSucceeded, "Переход в основную программу...", "Переход завершён"));
    ASSERT_THAT(run.outcome.boxes, SizeIs(1));
    EXPECT_EQ(run.outcome.boxes[0].text, kSucceeded);
    EXPECT_EQ(run.outcome.boxes[0].type, MB_OK);
    EXPECT_EQ(run.outcome.result, IDOK);
    run.ExpectFlashHoldsImage();
}

TEST(UpdateWithSim, SameBuildWithIntactFlashIsOnlyVerified) {
    SimRun run;
    run.Run({"--firmware-date", "same"});
    EXPECT_THAT(run.outcome.log,
                ElementsAre(kFoundLine, kSerialLine, kSameVersionLine, kTypeLine,
                            "Дата микропрограммы в устройстве совпадает с обновляемой",
                            "Переход в загрузчик...", "В загрузчике", kSucceeded,
                            "Переход в основную программу...", "Переход завершён"));
    EXPECT_THAT(run.received, Not(Contains(::testing::Truly(IsLoadHalf))));
    // Verifying alone fills the second half of the bar only.
    EXPECT_TRUE(std::all_of(run.dialog.barPositions.begin(), run.dialog.barPositions.end(),
                            [](int position) { return position == 0 || position >= 50; }));
    EXPECT_THAT(run.dialog.barPositions, Contains(100));
    EXPECT_EQ(run.outcome.result, IDOK);
    run.ExpectFlashHoldsImage();
}

TEST(UpdateWithSim, SameBuildWithDifferingFlashIsRewritten) {
    SimRun run;
    // The same header, other program bytes.
    run.Run({"--firmware-date", "same"},
            testsupport::MakeImage(kSmallImageSize, "Jun 20 2011", "09:15:48", 6, 2));
    EXPECT_THAT(run.outcome.log,
                ElementsAre(kFoundLine, kSerialLine, kSameVersionLine, kTypeLine,
                            "Дата микропрограммы в устройстве совпадает с обновляемой",
                            "Переход в загрузчик...", "В загрузчике", kVerifyFailed,
                            "Попытка перепрограммирования №2", "Завершена запись FLASH", kSucceeded,
                            "Переход в основную программу...", "Переход завершён"));
    EXPECT_EQ(run.outcome.result, IDOK);
    run.ExpectFlashHoldsImage();
}

TEST(UpdateWithSim, FiveFailedVerificationsEndInTheFailureBox) {
    SimRun run;
    run.Run({"--stuck", "0x100"});
    std::vector<std::string> expected = {
        kFoundLine,    kSerialLine, kOlderVersionLine, kTypeLine, "Переход в загрузчик...",
        "В загрузчике"};
    for (int attempt = 2; attempt <= 5; ++attempt) {
        expected.insert(expected.end(),
                        {"Завершена запись FLASH", kVerifyFailed,
                         "Попытка перепрограммирования №" + std::to_string(attempt)});
    }
    expected.insert(expected.end(), {"Завершена запись FLASH", kVerifyFailed, kFailed,
                                     "Переход в основную программу...", "Переход завершён"});
    EXPECT_THAT(run.outcome.log, ElementsAreArray(expected));
    ASSERT_THAT(run.outcome.boxes, SizeIs(1));
    EXPECT_EQ(run.outcome.boxes[0].text, kFailed);
    EXPECT_EQ(run.outcome.boxes[0].type, MB_ICONSTOP);
    EXPECT_EQ(run.outcome.result, IDOK);
}

TEST(UpdateWithSim, LaterFirmwareIsRefusedAfterTheInformationRequests) {
    SimRun run;
    run.Run({"--firmware-date", "later"});
    std::vector<std::uint8_t> steps;
    for (const Bytes& frame : run.received) {
        ASSERT_TRUE(frame[1] == CMD_IDENTIFY || frame[1] == CMD_INFO) << int{frame[1]};
        if (frame[1] == CMD_INFO && (steps.empty() || steps.back() != frame[3])) {
            steps.push_back(frame[3]);
        }
    }
    EXPECT_THAT(steps, ElementsAre(0, 1, 2));
    ASSERT_THAT(run.outcome.log, SizeIs(6));
    EXPECT_EQ(run.outcome.log[4], "Версия программы в приборе позже чем обновление");
    EXPECT_EQ(run.outcome.log[5], "Обновление не целесообразно");
    ASSERT_THAT(run.outcome.boxes, SizeIs(1));
    EXPECT_EQ(run.outcome.boxes[0].text,
              "Версия программы в приборе позже чем обновление\nОбновление не целесообразно");
    EXPECT_EQ(run.outcome.boxes[0].type, MB_ICONINFORMATION);
    EXPECT_EQ(run.outcome.result, IDOK);
}

TEST(UpdateWithSim, VerifyingAloneComparesWhateverTheBuildsAndNeverWrites) {
    SimRun run;
    run.dialog.m_nPurpose = PURPOSE_VERIFY;
    // A later build in the instrument, which an update would refuse, and
    // other program bytes.
    run.Run({"--firmware-date", "later"},
            testsupport::MakeImage(kSmallImageSize, "Jun 20 2011", "09:15:48", 6, 2));
    EXPECT_THAT(run.outcome.log,
                ElementsAre(kFoundLine, kSerialLine, ::testing::_, kTypeLine,
                            "Переход в загрузчик...", "В загрузчике", kVerifyFailed,
                            "Микропрограмма в приборе отличается от обновления",
                            "Переход в основную программу...", "Переход завершён"));
    EXPECT_THAT(run.received, Not(Contains(::testing::Truly(IsLoadHalf))));
    ASSERT_THAT(run.outcome.boxes, SizeIs(1));
    EXPECT_EQ(run.outcome.boxes[0].type, MB_ICONSTOP);
    EXPECT_EQ(run.dialog.m_nVerifyFailures, 1);
    EXPECT_FALSE(run.dialog.m_bSuccess);
    EXPECT_EQ(run.outcome.result, IDOK);
}

TEST(UpdateWithSim, ReadingTheIdentityAloneEndsAfterTheInformationRequests) {
    SimRun run;
    run.dialog.m_nPurpose = PURPOSE_IDENTIFY;
    run.Run({});
    EXPECT_THAT(run.outcome.log, ElementsAre(kFoundLine, kSerialLine, kOlderVersionLine, kTypeLine));
    EXPECT_THAT(run.outcome.boxes, SizeIs(0));
    for (const Bytes& frame : run.received) {
        EXPECT_TRUE(frame[1] == CMD_IDENTIFY || frame[1] == CMD_INFO) << int{frame[1]};
    }
    EXPECT_EQ(run.dialog.m_nPhase, PHASE_INFO);
    EXPECT_EQ(run.outcome.result, IDOK);
}

// Information replies late by up to the watchdog's 5 s: the identity is
// read all the same, or the run ends no earlier than the watchdog would.
class LateInformation : public ::testing::TestWithParam<int> {};

TEST_P(LateInformation, IsReadOrTheRunEndsNoEarlierThanTheWatchdog) {
    SimRun run;
    run.dialog.m_nPurpose = PURPOSE_IDENTIFY;
    const auto start = PaceNow();
    run.Run({"--delay", std::to_string(GetParam())});
    const auto took = PaceNow() - start;
    if (run.outcome.result == IDOK) {
        EXPECT_THAT(run.outcome.log,
                    ElementsAre(kFoundLine, kSerialLine, kOlderVersionLine, kTypeLine));
        EXPECT_THAT(run.outcome.boxes, SizeIs(0));
    } else {
        ASSERT_THAT(run.outcome.boxes, SizeIs(1));
        EXPECT_EQ(run.outcome.boxes[0].text, "Нет связи с Зирон-7!");
        // Each step waits for its late reply; the watchdog's 5 s come after the last one.
        EXPECT_GE(took, std::chrono::milliseconds(5000 + GetParam()));
    }
}

INSTANTIATE_TEST_SUITE_P(Delays, LateInformation, ::testing::Values(700, 2000, 4000));

TEST(UpdateWithSim, UnparseableDeviceDateCountsAs2000AndIsWritten) {
    SimRun run;
    run.Run({"--firmware-date", "unparseable"});
    ASSERT_THAT(run.outcome.log, SizeIs(10));
    EXPECT_EQ(run.outcome.log[2], "Версия программы в приборе №6 от 01/01/2000 00:00:00");
    EXPECT_EQ(run.outcome.log[6], "Завершена запись FLASH");
    EXPECT_EQ(run.outcome.result, IDOK);
    run.ExpectFlashHoldsImage();
}

TEST(UpdateWithSim, LineGoneMidWriteEndsWithNoLinkAndTheWarningCode) {
    SimRun run;
    run.Run({"--hangup-after", "12"});
    ASSERT_THAT(run.outcome.boxes, SizeIs(1));
    EXPECT_EQ(run.outcome.boxes[0].text, "Нет связи с Зирон-7!");
    EXPECT_EQ(run.outcome.boxes[0].type, MB_ICONSTOP);
    EXPECT_EQ(run.outcome.result, kUpdateLinkLost);
    EXPECT_THAT(run.outcome.log, Not(Contains(kSucceeded)));
}

// A terminal program had the port last and left its state in the line:
// software flow control (which would stop our writes at every 0x13 in a
// reply and eat 0x11 and 0x13 from the input), line editing, echo and CR
// mapping; or hardware flow control, which on a line without CTS (a
// three-wire cable) holds every write. The update goes as on a fresh port.
class LineLeftByATerminal : public ::testing::TestWithParam<const char*> {};

TEST_P(LineLeftByATerminal, DoesNotChangeTheUpdate) {
    SimRun run;
    run.leftBySttyArguments = GetParam();
    run.Run({});
    EXPECT_THAT(run.outcome.log, Contains(kSucceeded));
    EXPECT_EQ(run.outcome.result, IDOK);
    run.ExpectFlashHoldsImage();
}

INSTANTIATE_TEST_SUITE_P(Settings, LineLeftByATerminal,
                         ::testing::Values("sane ixon ixoff", "crtscts"));

// --- Real line timing: late, doubled and lost frames. ---

const char* const kUnknownFirmware = "Микропрограмма в приборе неизвестна";

// Success as the operator sees it, the image in the flash, and the
// instrument back in its main program (its status said so).
void ExpectCleanSuccess(const SimRun& run) {
    EXPECT_THAT(run.outcome.log, Contains(kSucceeded));
    EXPECT_THAT(run.outcome.log, Not(Contains(kVerifyFailed)));
    ASSERT_THAT(run.outcome.log, Not(::testing::IsEmpty()));
    EXPECT_EQ(run.outcome.log.back(), "Переход завершён");
    ASSERT_THAT(run.outcome.boxes, Not(::testing::IsEmpty()));
    EXPECT_EQ(run.outcome.boxes.back().text, kSucceeded);
    EXPECT_EQ(run.outcome.result, IDOK);
    run.ExpectFlashHoldsImage();
}

class LateAndDoubledReplies : public ::testing::TestWithParam<int> {};

// Every reply 70 ms late, so that requests are repeated and their second
// replies arrive while the next request is out; every reply sent twice back
// to back; bytes passed on in 16 ms bursts. Every kind of reply thus comes
// late, at the main program's rate and at the bootloader's.
TEST_P(LateAndDoubledReplies, NeverGiveAFalseResult) {
    SimRun run;
    run.portBaud = GetParam();
    run.Run({"--baud", std::to_string(GetParam()), "--pace", "--delay", "70", "--duplicate", "1",
             "--chunk", "16"});
    ExpectCleanSuccess(run);
    ASSERT_THAT(run.outcome.boxes, SizeIs(1));
}

INSTANTIATE_TEST_SUITE_P(EveryRate, LateAndDoubledReplies,
                         ::testing::Values(4800, 9600, 19200, 38400, 57600, 115200));

TEST(UpdateWithSim, LostSwitchBackIsSentAgainFromTheBootloadersRate) {
    SimRun run;
    run.Run({"--pace", "--lose-switch-back", "1"});
    ExpectCleanSuccess(run);
    const auto switches =
        std::count_if(run.received.begin(), run.received.end(), [](const Bytes& f) {
            return f.size() > 9 && f[0] == kRequestStartByte && f[1] == CMD_LOADER &&
                   f[9] == BL_SWITCH;
        });
    EXPECT_EQ(switches, 3);                   // in, out (lost), out again
    EXPECT_EQ(run.dialog.m_nLoaderTries, 8);  // leaving has ten of its own: out twice
}

TEST(UpdateWithSim, BootloaderThatNeverLeavesStillEndsWithItsBox) {
    SimRun run;
    run.Run({"--never-leave"});
    ASSERT_THAT(run.outcome.boxes, SizeIs(1));
    EXPECT_EQ(run.outcome.boxes[0].text, kCannotLeaveLoaderText);
    EXPECT_EQ(run.outcome.result, IDOK);
    EXPECT_THAT(run.outcome.log, Not(Contains("Переход завершён")));
}

TEST(UpdateWithSim, InstrumentResidentInItsBootloaderIsWrittenWhenTheOperatorSaysYes) {
    SimRun run;
    run.portBaud = 38400;  // where the search finds a bootloader
    run.Run({"--start-in-bootloader", "--pace"});
    EXPECT_THAT(run.outcome.log,
                ElementsAre("Зирон-7 найден. Скорость 38400", kSerialLine, kUnknownFirmware,
                            "В загрузчике", "Завершена запись FLASH", kSucceeded,
                            "Переход в основную программу...", "Переход завершён"));
    ASSERT_THAT(run.outcome.boxes, SizeIs(2));
    EXPECT_EQ(run.outcome.boxes[0].type, MB_YESNO);
    ExpectCleanSuccess(run);
}

TEST(UpdateWithSim, InstrumentResidentInItsBootloaderIsLeftAloneWhenTheOperatorSaysNo) {
    SimRun run;
    run.portBaud = 38400;
    run.yesNoAnswer = IDNO;
    run.Run({"--start-in-bootloader"});
    EXPECT_THAT(run.outcome.log,
                ElementsAre("Зирон-7 найден. Скорость 38400", kSerialLine, kUnknownFirmware));
    ASSERT_THAT(run.outcome.boxes, SizeIs(2));
    EXPECT_EQ(run.outcome.boxes[0].type, MB_YESNO);
    // The link works: the box tells where the instrument stays, and the
    // application's warning follows.
    EXPECT_EQ(run.outcome.boxes[1].text, kStaysInLoaderText);
    EXPECT_EQ(run.outcome.boxes[1].type, MB_OK);
    EXPECT_EQ(run.outcome.result, IDCANCEL);
    EXPECT_THAT(run.received, Not(Contains(::testing::Truly(IsLoadHalf))));
}

// Bootloaders that hold zeros or anything in bytes 1-2 of their replies,
// over a line with late and doubled replies too: the update succeeds.
class BootloaderWithoutEcho
    : public ::testing::TestWithParam<std::tuple<const char*, std::vector<std::string>>> {};

TEST_P(BootloaderWithoutEcho, IsWrittenAndVerified) {
    SimRun run;
    std::vector<std::string> options = {"--pace", "--boot-echo", std::get<0>(GetParam())};
    const std::vector<std::string>& line = std::get<1>(GetParam());
    options.insert(options.end(), line.begin(), line.end());
    run.Run(options);
    ExpectCleanSuccess(run);
    EXPECT_FALSE(run.dialog.m_loaderMatcher.AssumesEcho());
}

INSTANTIATE_TEST_SUITE_P(Echoes, BootloaderWithoutEcho,
                         ::testing::Combine(::testing::Values("zero", "random"),
                                            ::testing::Values(std::vector<std::string>{},
                                                              std::vector<std::string>{
                                                                  "--delay", "20", "--duplicate",
                                                                  "0.3", "--chunk", "16"})));

TEST(UpdateWithSim, EchoingBootloaderIsNeverTakenForOneWithout) {
    SimRun run;
    run.Run({"--pace", "--delay", "70", "--duplicate", "1", "--chunk", "16"});
    ExpectCleanSuccess(run);
    EXPECT_TRUE(run.dialog.m_loaderMatcher.AssumesEcho());
}

// A two-wire adapter returns every frame sent, ahead of its answer: each
// comes back once and is passed over, the program-page requests (answered
// by frames identical to them) included, and the update goes as on a clean
// line, with the same log.
class EchoingLine : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(EchoingLine, IsWrittenVerifiedAndLeftAsACleanOne) {
    SimRun run;
    std::vector<std::string> options = {"--echo"};
    options.insert(options.end(), GetParam().begin(), GetParam().end());
    run.Run(options);
    ExpectCleanSuccess(run);
    EXPECT_THAT(run.outcome.log,
                ElementsAre(kFoundLine, kSerialLine, kOlderVersionLine, kTypeLine,
                            "Переход в загрузчик...", "В загрузчике", "Завершена запись FLASH",
                            kSucceeded, "Переход в основную программу...", "Переход завершён"));
    EXPECT_TRUE(run.dialog.m_echo.LineEchoes());
    // Every frame sent came back once; the very first may have been read
    // before the dialog knew it.
    EXPECT_GE(run.dialog.m_echo.EchoesPassedOver() + 1, run.received.size());
}

INSTANTIATE_TEST_SUITE_P(Lines, EchoingLine,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"--pace", "--chunk", "16"},
                                           std::vector<std::string>{"--boot-echo", "zero"}));

TEST(UpdateWithSim, EightSwitchesLostOnTheWayInLeaveTheWayBackWhole) {
    SimRun run;
    run.portBaud = 115200;
    run.Run({"--pace", "--baud", "115200", "--lose-switch-in", "8"});
    ExpectCleanSuccess(run);
    EXPECT_EQ(run.dialog.m_nLoaderTries, 9);  // leaving found the bootloader once
}

TEST(UpdateWithSim, InformationAlwaysFailingItsChecksumEndsWithNoLinkAndAnUntouchedFlash) {
    SimRun run;
    run.Run({"--info-bad-checksum"});
    EXPECT_THAT(run.outcome.log, ElementsAre(kFoundLine, kSerialLine));
    ASSERT_THAT(run.outcome.boxes, SizeIs(1));
    EXPECT_EQ(run.outcome.boxes[0].text, "Нет связи с Зирон-7!");
    EXPECT_EQ(run.outcome.result, kUpdateLinkLost);
    EXPECT_THAT(run.received, Not(Contains(::testing::Truly(IsLoadHalf))));
}

// --- The fast pace: writing and verifying as fast as the bootloader answers. ---

const char* const kFastPace = "Быстрый обмен: запись и проверка без паузы между кадрами";
const char* const kRepeatSlows = "Повтор запроса: далее обычная скорость обмена";

class FastPace : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(FastPace, WritesAndVerifiesTheImageAndReturnsToTheMainProgram) {
    SimRun run;
    run.dialog.m_nPacing = Pacing::Fast;
    run.Run(GetParam());
    ExpectCleanSuccess(run);
    EXPECT_TRUE(run.dialog.m_pacer.IsFast());  // nothing on the line called for the default pace
    ASSERT_THAT(run.outcome.log, SizeIs(::testing::Gt(2u)));
    EXPECT_EQ(run.outcome.log[2], kFastPace);
    EXPECT_THAT(run.outcome.log, Not(Contains(kRepeatSlows)));
}

INSTANTIATE_TEST_SUITE_P(Lines, FastPace,
                         ::testing::Values(std::vector<std::string>{"--pace"},
                                           std::vector<std::string>{"--pace", "--chunk", "16"}));

TEST(FastPaceOnATroubledLine, GoesOnAtTheDefaultPaceAndSaysSoOnce) {
    SimRun run;
    run.dialog.m_nPacing = Pacing::Fast;
    // Lost request bytes leave most long frames unanswered: repeats.
    run.Run({"--pace", "--drop-in", "0.01"});
    ExpectCleanSuccess(run);
    EXPECT_FALSE(run.dialog.m_pacer.IsFast());
    EXPECT_EQ(std::count(run.outcome.log.begin(), run.outcome.log.end(), kRepeatSlows), 1);
}

}  // namespace
}  // namespace updatetest
