// The update dialog against a scripted instrument: the switch countdown
// shared by entering and leaving, short information replies, the watchdog in
// every phase, and the pump's rules for awaited replies and queue entries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QKeyEvent>
#include <QTimer>

#include "DecisionsHeard.h"
#include "DialogIds.h"
#include "MonotonicClock.h"
#include "SessionEvents.h"
#include "ImageFiles.h"
#include "RepeatTiming.h"
#include "RunningDialog.h"
#include "ScriptedDevice.h"
#include "SealedFrame.h"
#include "UpdateMessages.h"
#include "winapi_seams.h"

namespace updatetest {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr std::int32_t kMainBaud = 9600;
constexpr std::size_t kSmallImageSize = 600;  // three pages: E = 767
constexpr int kWatchdogTicks = 100;
// Long enough for bytes written to the line to reach the other end.
constexpr auto kLineDelay = std::chrono::milliseconds(30);

const char* const kFoundLine = "Зирон-7 найден. Скорость 9600";
const char* const kSerialLine = "Серийный номер 12345. Дата выпуска 7/2011";
// A whole update whose way into the bootloader logs no switch: the
// instrument was there already, or its acknowledgement was lost.
const std::vector<std::string> kLogEnteringWithoutASwitchLine = {
    kFoundLine,
    kSerialLine,
    "Версия программы в приборе №6 от 20/06/2010 09:15:48",
    "Тип 3 Число перепрошивок 1",
    "В загрузчике",
    "Завершена запись FLASH",
    "Обновление микропрограммы прошло УСПЕШНО",
    "Переход в основную программу...",
    "Переход завершён"};

Bytes SmallImage() {
    return testsupport::MakeImage(kSmallImageSize, "Jun 20 2011", "09:15:48", 6, 1);
}

bool IsSwitchRequest(const ReceivedFrame& frame) {
    return frame.Command() == CMD_LOADER && frame.bytes[kFrameStartIndex] == kRequestStartByte;
}

bool IsImageFrame(const ReceivedFrame& frame) {
    return frame.Command() == CMD_LOADER && frame.bytes[kFrameStartIndex] == 0x00;
}

// The flash holds the image, and 0xFF up to the end of its last page.
void ExpectFlashHolds(std::span<const std::uint8_t> flash, const Bytes& image) {
    ASSERT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    const std::size_t end = image.size() | 0xFF;
    EXPECT_TRUE(std::all_of(flash.begin() + static_cast<long>(image.size()),
                            flash.begin() + static_cast<long>(end) + 1,
                            [](std::uint8_t byte) { return byte == 0xFF; }));
}

struct ScriptedRun {
    ScriptedDevice device;
    std::unique_ptr<ScriptedInstrument> line = std::make_unique<ScriptedInstrument>(
        [this](const ReceivedFrame& request) { return device.Answer(request); });
    Bytes imageBytes = SmallImage();
    CFirmwareImage image{kAccessCodeLow, kAccessCodeHigh, CMD_LOADER};
    ObservedUpdateDlg dialog;

    UpdateOutcome Run(int answerDelayMs = 100) {
        image.LoadFromBytes(imageBytes);
        return RunUpdate(dialog, line->DeviceDirectory(), kMainBaud, image, answerDelayMs);
    }
    // Ends the line; what it received stays readable.
    std::vector<ReceivedFrame> Finish() {
        std::this_thread::sleep_for(kLineDelay);
        std::vector<ReceivedFrame> received = line->Received();
        line.reset();
        return received;
    }
};

TEST(UpdateCountdown, ThreeSwitchesToEnterStillLeaveNineSwitchesOnTheWayOut) {
    ScriptedRun run;
    run.device.switchesToEnter = 3;
    run.device.leaves = false;
    const UpdateOutcome outcome = run.Run();
    const std::vector<ReceivedFrame> received = run.Finish();

    EXPECT_THAT(
        outcome.log,
        ElementsAre(kFoundLine, kSerialLine, "Версия программы в приборе №6 от 20/06/2010 09:15:48",
                    "Тип 3 Число перепрошивок 1", "Переход в загрузчик...",
                    "Переход в загрузчик...", "Переход в загрузчик...", "В загрузчике",
                    "Завершена запись FLASH", "Обновление микропрограммы прошло УСПЕШНО",
                    "Переход в основную программу..."));
    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, kCannotLeaveLoaderText);
    EXPECT_EQ(outcome.boxes[0].type, MB_OK);
    EXPECT_EQ(outcome.result, IDOK);

    // On the way out, with ten tries of its own: ten status requests, each
    // bootloader sighting but the last answered by one switch request, which
    // awaits no reply and so goes out exactly once.
    const auto lastImageFrame = std::find_if(received.rbegin(), received.rend(), IsImageFrame);
    ASSERT_NE(lastImageFrame, received.rend());
    const std::vector<ReceivedFrame> leaving(lastImageFrame.base(), received.end());
    std::string pattern;
    for (const ReceivedFrame& frame : leaving) {
        const char kind = IsSwitchRequest(frame)            ? 'W'
                          : frame.Command() == CMD_STATUS   ? 'S'
                          : frame.Command() == CMD_IDENTIFY ? '\0'
                                                            : '?';
        // A status request repeated until its reply arrives counts once.
        if (kind != '\0' && !(kind == 'S' && !pattern.empty() && pattern.back() == 'S')) {
            pattern += kind;
        }
    }
    EXPECT_EQ(pattern, "SWSWSWSWSWSWSWSWSWS");
    EXPECT_EQ(std::count_if(received.begin(), received.end(), IsSwitchRequest), 3 + 9);
}

TEST(UpdateCountdown, LostAcknowledgementIsMadeGoodByTheStatusAtTheBootloadersRate) {
    ScriptedRun run;
    run.device.acknowledges = false;
    const UpdateOutcome outcome = run.Run();
    const std::vector<ReceivedFrame> received = run.Finish();

    EXPECT_THAT(outcome.log, ElementsAreArray(kLogEnteringWithoutASwitchLine));
    // The switch went out once: a second one would have reached the bootloader.
    const auto firstImageFrame = std::find_if(received.begin(), received.end(), IsImageFrame);
    EXPECT_EQ(std::count_if(received.begin(), firstImageFrame, IsSwitchRequest), 1);
    EXPECT_EQ(outcome.result, IDOK);
    ExpectFlashHolds(run.device.bootloader.Flash(), run.imageBytes);
}

TEST(UpdateCountdown, InstrumentAlreadyInItsBootloaderIsNotSwitched) {
    ScriptedRun run;
    run.device.bootloaderAfterInformation = true;
    const UpdateOutcome outcome = run.Run();
    const std::vector<ReceivedFrame> received = run.Finish();

    EXPECT_THAT(outcome.log, ElementsAreArray(kLogEnteringWithoutASwitchLine));
    const auto firstImageFrame = std::find_if(received.begin(), received.end(), IsImageFrame);
    EXPECT_EQ(std::find_if(received.begin(), firstImageFrame, IsSwitchRequest), firstImageFrame);
    // Entering drew nothing from the countdown; leaving drew one.
    EXPECT_EQ(run.dialog.m_nLoaderTries, 9);
    EXPECT_EQ(outcome.result, IDOK);
    ExpectFlashHolds(run.device.bootloader.Flash(), run.imageBytes);
}

// A main program that starts late after the switch back, yet within the
// watchdog's 5 s, is heard: it is asked at its own rate, in turn with the
// bootloader's, all the while.
TEST(UpdateCountdown, AMainProgramStartingLateAfterTheSwitchBackIsStillHeard) {
    ScriptedRun run;
    run.device.mainStartsAfterLeaving = std::chrono::milliseconds(4100);
    run.device.mainBaud = kMainBaud;
    const UpdateOutcome outcome = run.Run();
    const std::vector<ReceivedFrame> received = run.Finish();

    EXPECT_THAT(outcome.log, ElementsAre(kFoundLine, kSerialLine,
                                         "Версия программы в приборе №6 от 20/06/2010 09:15:48",
                                         "Тип 3 Число перепрошивок 1", "Переход в загрузчик...",
                                         "В загрузчике", "Завершена запись FLASH",
                                         "Обновление микропрограммы прошло УСПЕШНО",
                                         "Переход в основную программу...", "Переход завершён"));
    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, "Обновление микропрограммы прошло УСПЕШНО");
    EXPECT_EQ(outcome.result, IDOK);
    // Only the two rates are asked on the way out.
    const auto lastImageFrame = std::find_if(received.rbegin(), received.rend(), IsImageFrame);
    ASSERT_NE(lastImageFrame, received.rend());
    for (auto frame = lastImageFrame.base(); frame != received.end(); ++frame) {
        EXPECT_TRUE(frame->rate == kMainBaud || frame->rate == kBootloaderBaud) << frame->rate;
    }
}

struct ShortTextCase {
    const char* date;
    const char* time;
};

class ShortInformationReply : public ::testing::TestWithParam<ShortTextCase> {};

TEST_P(ShortInformationReply, LeavesTheInstrumentTimeAt2000AndTheImageIsWritten) {
    ScriptedRun run;
    // A full date first, so that a short time text has old bytes behind it.
    run.device.dateText = GetParam().date;
    run.device.timeText = GetParam().time;
    const UpdateOutcome outcome = run.Run();
    run.Finish();

    ASSERT_THAT(outcome.log, SizeIs(10));
    EXPECT_EQ(outcome.log[2], "Версия программы в приборе №6 от 01/01/2000 00:00:00");
    EXPECT_EQ(outcome.log[4], "Переход в загрузчик...");
    EXPECT_EQ(outcome.log[9], "Переход завершён");
    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, "Обновление микропрограммы прошло УСПЕШНО");
    EXPECT_EQ(outcome.boxes[0].type, MB_OK);
    EXPECT_EQ(outcome.result, IDOK);
    ExpectFlashHolds(run.device.bootloader.Flash(), run.imageBytes);
}

INSTANTIATE_TEST_SUITE_P(Texts, ShortInformationReply,
                         ::testing::Values(ShortTextCase{"Jun 20 2011", "09:15:4"},
                                           ShortTextCase{"Jun 20 201", "09:15:48"},
                                           ShortTextCase{"", ""}));

struct DecisionCase {
    const char* name;
    const char* deviceDate;  // the image was built Jun 20 2011 09:15:48
    UpdateDecision decision;
    UpdateConclusion conclusion;
};

class ReportedDecision : public ::testing::TestWithParam<DecisionCase> {};

// What the session is told is what the dialog decided by: the firmware as
// it took the replies, then its decision and its outcome, each once. Frames
// that are no answer come before the answers:
//  - late copies of the steps before (which read as the next step's answer,
//    or as an identity, by anyone who follows the frames alone);
//  - our own earlier requests come back late (an echo read by a busy PC, not
//    within its request's wire time), a step alone or no identity at all.
//    Once taken, the time step read as empty, the firmware as built in 2000,
//    and a later one was written over; a bare identify frame read as
//    another device on the line.
TEST_P(ReportedDecision, NamesTheFirmwareReadPastFramesThatAnswerNothingAndWhatWasDone) {
    const DecisionCase& c = GetParam();
    for (const bool staleRequests : {false, true}) {
        testsupport::DecisionsHeard heard;
        const SessionEventsScope listening(heard);
        ScriptedRun run;
        run.device.dateText = c.deviceDate;
        run.device.lateInfoCopies = !staleRequests;
        run.device.staleRequestsComeBack = staleRequests;
        run.Run();
        run.Finish();

        ASSERT_THAT(heard.firmware, SizeIs(1)) << staleRequests;
        const testsupport::FirmwareHeard& firmware = heard.firmware[0];
        EXPECT_EQ(firmware.buildDate, c.deviceDate);
        EXPECT_EQ(firmware.buildTime, "09:15:48");
        EXPECT_TRUE(firmware.identityRead);
        EXPECT_EQ(firmware.deviceType, 3);
        EXPECT_EQ(firmware.version, 6);
        EXPECT_EQ(firmware.reprogrammings, 1u);
        EXPECT_THAT(heard.decisions, ElementsAre(c.decision)) << staleRequests;
        EXPECT_THAT(heard.conclusions, ElementsAre(c.conclusion)) << staleRequests;
        EXPECT_TRUE(heard.found.empty()) << "the search, not the update, finds the instrument";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Builds, ReportedDecision,
    ::testing::Values(
        DecisionCase{"older", "Jun 20 2010", UpdateDecision::Write, UpdateConclusion::Succeeded},
        DecisionCase{"same", "Jun 20 2011", UpdateDecision::VerifySameDate,
                     UpdateConclusion::Succeeded},
        DecisionCase{"later", "Jun 20 2012", UpdateDecision::RefuseLater,
                     UpdateConclusion::RefusedLater}),
    [](const ::testing::TestParamInfo<DecisionCase>& param) { return std::string(param.param.name); });

// --- The pump driven tick by tick on a silent line. ---

struct SilentRun {
    std::unique_ptr<ScriptedInstrument> line = std::make_unique<ScriptedInstrument>(
        [](const ReceivedFrame&) { return std::vector<Bytes>{}; });
    Bytes imageBytes = SmallImage();
    CFirmwareImage image{kAccessCodeLow, kAccessCodeHigh, CMD_LOADER};
    ObservedUpdateDlg dialog;

    int answerDelayMs = 0;  // how long each box stays open

    UpdateOutcome Run(std::function<void(ObservedUpdateDlg&)> script) {
        image.LoadFromBytes(imageBytes);
        dialog.whenRunning = std::move(script);
        return RunUpdate(dialog, line->DeviceDirectory(), kMainBaud, image, answerDelayMs);
    }
    // Lets the line's bytes reach the dialog and hands them over.
    void Deliver(ObservedUpdateDlg& running, Bytes frame) {
        const std::size_t sealedSize = frame.size() + kFrameCrcSize;
        line->Inject(std::move(frame));
        AwaitInput(running, sealedSize);
        running.OnPortEvent(EV_RXCHAR, 0);
    }
    std::vector<ReceivedFrame> Received() {
        std::this_thread::sleep_for(kLineDelay);
        return line->Received();
    }
};

struct WatchdogCase {
    std::uint8_t phase;
    bool success;
    const char* text;
    UINT type;
    int result;
    std::int32_t ticksAfter;
};

class Watchdog : public ::testing::TestWithParam<WatchdogCase> {};

TEST_P(Watchdog, ToleratesHundredSilentTicksAndGivesUpOnTheNext) {
    const WatchdogCase& c = GetParam();
    SilentRun run;
    std::int32_t ticksAfter = -1;
    std::size_t logBefore = 0;
    const UpdateOutcome outcome = run.Run([&](ObservedUpdateDlg& d) {
        d.m_nPhase = c.phase;
        d.m_bSuccess = c.success;
        d.m_nTicks = 0;
        logBefore = d.log.size();
        // A give-up before the 101st tick would show a second box below.
        for (int tick = 0; tick <= kWatchdogTicks; ++tick) {
            d.OnTimer(d.m_nPumpTimer);
        }
        ticksAfter = d.m_nTicks;
    });
    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, c.text);
    EXPECT_EQ(outcome.boxes[0].type, c.type);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(ticksAfter, c.ticksAfter);
    EXPECT_EQ(outcome.log.size(), logBefore);
}

const char* const kNoLink = "Нет связи с Зирон-7!";

INSTANTIATE_TEST_SUITE_P(
    Phases, Watchdog,
    ::testing::Values(WatchdogCase{PHASE_INFO, false, kNoLink, MB_ICONSTOP, kUpdateLinkLost, 101},
                      WatchdogCase{PHASE_ENTER, false, kCannotEnterLoaderText, MB_OK, IDCANCEL, 0},
                      WatchdogCase{PHASE_WRITE, false, kNoLink, MB_ICONSTOP, kUpdateLinkLost, 101},
                      WatchdogCase{PHASE_VERIFY, false, kNoLink, MB_ICONSTOP, kUpdateLinkLost, 101},
                      WatchdogCase{PHASE_LEAVE, true, kCannotLeaveLoaderText, MB_OK, IDOK, 101},
                      WatchdogCase{PHASE_LEAVE, false, kCannotLeaveLoaderText, MB_OK,
                                   kUpdateLinkLost, 101},
                      WatchdogCase{PHASE_DONE, true, kNoLink, MB_ICONSTOP, IDOK, 101}));

TEST(Watchdog, AnEntryGivenUpSendsNothingOnceTheDialogEnds) {
    // The tick that gives up entering cancels the dialog: the switch into
    // the bootloader, or the status request due then, must not follow it
    // onto the line.
    SilentRun run;
    std::size_t sentBefore = 0;
    std::size_t sentAfter = 0;
    const UpdateOutcome outcome = run.Run([&](ObservedUpdateDlg& d) {
        d.m_nPhase = PHASE_ENTER;
        d.m_nAwaitedCmd = 0;
        d.m_queue.Clear();
        d.QueueStatusRequest();
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * kPumpPeriodMs));
        sentBefore = run.Received().size();
        d.m_nTicks = kWatchdogTicks;
        d.OnTimer(d.m_nPumpTimer);
        sentAfter = run.Received().size();
    });
    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, kCannotEnterLoaderText);
    EXPECT_EQ(outcome.result, IDCANCEL);
    EXPECT_EQ(sentAfter, sentBefore);
}

TEST(Watchdog, APumpTheSystemRefusesEndsTheRunAtOnceWithNothingSent) {
    // No pump would mean no request, no watchdog and no outcome: a run
    // without an end. Id 0 is one no timer can have.
    SilentRun run;
    run.dialog.m_nPumpTimer = 0;
    QObject bound;  // ends a run that would last for ever; goes with the test
    QTimer::singleShot(2000, &bound, [&] { run.dialog.EndDialog(IDOK); });
    const UpdateOutcome outcome = run.Run(nullptr);
    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, "Нет связи с Зирон-7!");
    EXPECT_EQ(outcome.result, kUpdateLinkLost);
    EXPECT_THAT(run.Received(), IsEmpty());
}

// When each frame's write returned, by the program's clock, and the frame.
struct SendTimes final : SessionEvents {
    std::vector<MonotonicTime> at;
    std::vector<std::vector<std::uint8_t>> frames;
    void OnFrameSent(std::span<const std::uint8_t> frame) override {
        at.push_back(MonotonicNow());
        frames.emplace_back(frame.begin(), frame.end());
    }
};

TEST(WatchdogOnTheClock, HundredTicksOfUnansweredRequestsThenNoLink) {
    SilentRun run;
    SendTimes sent;
    UpdateOutcome outcome;
    {
        const SessionEventsScope listening(sent);
        outcome = run.Run(nullptr);
    }
    const std::vector<ReceivedFrame> received = run.Received();

    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, kNoLink);
    EXPECT_EQ(outcome.boxes[0].type, MB_ICONSTOP);
    EXPECT_EQ(outcome.result, kUpdateLinkLost);
    // Every 500 ms the information request and the status take turns, each
    // repeated as soon as its reply can no longer be on the way; the 101st
    // tick gives up. However they repeat, no two frames go out closer than
    // the least gap, however late the timers fire.
    const auto isInfo = [](const ReceivedFrame& frame) {
        return frame.Command() == CMD_INFO && frame.bytes[kFramePayloadIndex] == kInfoStepDate;
    };
    const auto isStatus = [](const ReceivedFrame& frame) { return frame.Command() == CMD_STATUS; };
    // Each request goes out again at least every second tick, however late
    // the timers of a loaded machine fire.
    ASSERT_THAT(received, SizeIs(::testing::AllOf(::testing::Ge(50u), ::testing::Le(102u))));
    EXPECT_TRUE(std::all_of(received.begin(), received.begin() + 5, isInfo));
    EXPECT_EQ(std::count_if(received.begin(), received.end(), isInfo) +
                  std::count_if(received.begin(), received.end(), isStatus),
              static_cast<std::ptrdiff_t>(received.size()));
    EXPECT_GE(std::count_if(received.begin(), received.end(), isStatus), 25);
    // Timed as the dialog sent them: the arrival times carry the reading
    // side's scheduling, and a loaded machine read two frames at once. The
    // least gap is kept between the frames' starts on the wire; a write
    // that returned late is counted as started its wire time before it
    // returned, so the next write returns at least the gap less that wire
    // time after it (a loaded machine held one 4 ms: 35.9 ms).
    ASSERT_EQ(sent.at.size(), received.size());
    for (std::size_t i = 1; i < sent.at.size(); ++i) {
        EXPECT_GE(sent.at[i] - sent.at[i - 1], kMinimumSendGap - FrameWireTime(sent.frames[i - 1], kMainBaud))
            << i;
    }
}

// The line fails in the middle of writing the flash: the instrument stops
// reading, so the line fills and every write waits (flow control held off,
// a hung adapter driver), or the line hangs up (the adapter pulled out).
// Either ends the run as a silent line does: a hang-up at once, long before
// the watchdog, as the device is gone; a stalled line by the watchdog, each
// write that runs out being a send lost on the way, and in about its time,
// as the time the writes held the window counts.
enum class LineFailure { Stalls, HangsUp };

class FailingLine : public ::testing::TestWithParam<LineFailure> {};

TEST_P(FailingLine, EndsTheRunWithNoLink) {
    constexpr int kFramesBeforeFailure = 12;
    ScriptedDevice device;
    int frames = 0;
    ScriptedInstrument* self = nullptr;
    ScriptedInstrument line([&](const ReceivedFrame& request) {
        if (++frames == kFramesBeforeFailure) {
            GetParam() == LineFailure::Stalls ? self->StopReading() : self->HangUp();
            return std::vector<Bytes>{};
        }
        return device.Answer(request);
    });
    self = &line;
    // The image borrows its bytes, as from the program's resource.
    const Bytes imageBytes = SmallImage();
    CFirmwareImage image{kAccessCodeLow, kAccessCodeHigh, CMD_LOADER};
    image.LoadFromBytes(imageBytes);
    ObservedUpdateDlg dialog;
    const auto start = std::chrono::steady_clock::now();
    const UpdateOutcome outcome = RunUpdate(dialog, line.DeviceDirectory(), kMainBaud, image);
    const auto took = std::chrono::steady_clock::now() - start;

    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, "Нет связи с Зирон-7!");
    EXPECT_EQ(outcome.boxes[0].type, MB_ICONSTOP);
    EXPECT_EQ(outcome.result, kUpdateLinkLost);
    if (GetParam() == LineFailure::HangsUp) {
        // The watchdog gives up after 100 ticks without a reply taken; the
        // run ended within a few.
        EXPECT_LT(dialog.m_nTicks, 20);
    } else {
        EXPECT_GT(dialog.m_nTicks, kWatchdogTicks);
        EXPECT_LT(took, std::chrono::seconds(10));
    }
}

// A USB adapter or a busy PC holds one write longer than its wire time and
// the margin: a send lost on the way, which is repeated, and the update goes
// on to its end.
TEST(SlowWrite, IsALostSendAndTheUpdateSucceeds) {
    constexpr int kFramesBeforeTheSlowWrite = 12;  // in the middle of writing
    ScriptedRun run;
    int frames = 0;
    run.line = std::make_unique<ScriptedInstrument>([&](const ReceivedFrame& request) {
        if (++frames == kFramesBeforeTheSlowWrite) {
            // The dialog's next write runs out as SendFrame's bound does.
            FailNextCalls(SeamCall::WriteFile, ERROR_TIMEOUT);
        }
        return run.device.Answer(request);
    });
    const UpdateOutcome outcome = run.Run();
    run.Finish();
    ResetSeams();

    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, "Обновление микропрограммы прошло УСПЕШНО");
    EXPECT_EQ(outcome.result, IDOK);
    ExpectFlashHolds(run.device.bootloader.Flash(), run.imageBytes);
}

INSTANTIATE_TEST_SUITE_P(Ways, FailingLine,
                         ::testing::Values(LineFailure::Stalls, LineFailure::HangsUp));

TEST(ReplyMatching, OnlyAReplyTakenForTheOutstandingRequestFeedsTheWatchdog) {
    SilentRun run;
    const UpdateOutcome outcome = run.Run([&](ObservedUpdateDlg& d) {
        d.m_nAwaitedCmd = CMD_INFO;
        const std::size_t queued = d.m_queue.Size();
        // A valid frame not awaited changes nothing, the watchdog included.
        d.m_nTicks = kWatchdogTicks - 1;
        run.Deliver(d, StatusReply(true));
        EXPECT_EQ(d.m_nTicks, kWatchdogTicks - 1);
        EXPECT_EQ(d.m_nAwaitedCmd, CMD_INFO);
        EXPECT_EQ(d.m_queue.Size(), queued);
        EXPECT_EQ(d.m_nPhase, PHASE_INFO);
        EXPECT_EQ(d.m_nInfoStep, kInfoStepDate);

        // Nor does a frame that fails its checksum.
        Bytes broken = testsupport::Sealed(StatusReply(true));
        broken.back() ^= 0x01;
        run.line->InjectRaw(broken);
        AwaitInput(d, broken.size());
        d.OnPortEvent(EV_RXCHAR, 0);
        EXPECT_EQ(d.m_nTicks, kWatchdogTicks - 1);

        // The awaited reply does.
        run.Deliver(d, InfoTextReply("Jun 20 2010"));
        EXPECT_EQ(d.m_nTicks, 0);
        EXPECT_EQ(d.m_nInfoStep, kInfoStepTime);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_THAT(outcome.boxes, IsEmpty());
    EXPECT_THAT(outcome.log, SizeIs(2));
    EXPECT_EQ(outcome.result, IDCANCEL);
}

TEST(ReplyMatching, APassedOverBootloaderReplyDoesNotFeedTheWatchdog) {
    SilentRun run;
    run.Run([&](ObservedUpdateDlg& d) {
        d.m_nPhase = PHASE_VERIFY;
        d.m_queue.Clear();
        Bytes request(kFrameBufferSize);
        WriteLoaderHeader(request.data(), 0x00, CMD_LOADER, kLoaderHeaderLength, kAccessCode,
                          BL_READ_BACK, 0x0100);
        std::copy_n(request.begin(), kFrameHeaderSize + kLoaderHeaderLength, d.m_txFrame);
        d.m_nAwaitedCmd = CMD_LOADER;
        // A copy of the previous request's reply, asked at the port's rate,
        // may still come.
        const auto rate = static_cast<std::uint32_t>(d.m_pSerial->GetBaudRate());
        d.m_pacer.NextRequest(std::chrono::seconds(10), CMD_LOADER, rate);
        d.m_pacer.Sent({PaceNow(), PaceNow(), PaceNow()}, true);
        d.m_pacer.NextRequest(kDefaultSendSpacing, CMD_LOADER, rate);
        d.m_nTicks = kWatchdogTicks - 1;
        const std::uint8_t previousBlock[] = {BL_READ_BACK, 0x80, 0x00};
        run.Deliver(d, Reply(CMD_LOADER, previousBlock));
        EXPECT_EQ(d.m_nTicks, kWatchdogTicks - 1);
        EXPECT_EQ(d.m_nAwaitedCmd, CMD_LOADER);
        d.m_nTicks = 0;
        d.EndDialog(IDCANCEL);
    });
}

TEST(InformationDetours, AStepTheMainProgramNeverAnswersEndsAsASilentLine) {
    // The main program answers identify and status but never the firmware
    // identity (an older one without that step).
    ScriptedRun run;
    run.device.unansweredInfoStep = kInfoStepIdentity;
    const UpdateOutcome outcome = run.Run();
    const std::vector<ReceivedFrame> received = run.Finish();

    EXPECT_THAT(outcome.log, ElementsAre(kFoundLine, kSerialLine));
    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, kNoLink);
    EXPECT_EQ(outcome.boxes[0].type, MB_ICONSTOP);
    EXPECT_EQ(outcome.result, kUpdateLinkLost);
    // Ten statuses found the main program, each after 500 ms of the step
    // unanswered (a loaded machine may repeat one before its reply is
    // read); nothing reached the bootloader.
    EXPECT_GE(std::count_if(received.begin(), received.end(),
                            [](const ReceivedFrame& f) { return f.Command() == CMD_STATUS; }),
              10);
    EXPECT_EQ(std::count_if(received.begin(), received.end(),
                            [](const ReceivedFrame& f) { return f.Command() == CMD_LOADER; }),
              0);
}

TEST(UpdateCountdown, SwitchesLostOnTheLineSpendNoTryOfEntering) {
    // Eight switches vanish without an acknowledgement; the ninth starts the
    // bootloader, whose acknowledgement is lost too.
    ScriptedRun run;
    run.device.acknowledges = false;
    run.device.switchesToEnter = 9;
    const UpdateOutcome outcome = run.Run();
    const std::vector<ReceivedFrame> received = run.Finish();

    EXPECT_THAT(outcome.log, ElementsAreArray(kLogEnteringWithoutASwitchLine));
    EXPECT_EQ(outcome.result, IDOK);
    EXPECT_EQ(run.dialog.m_nUnansweredSwitchTries, 20 - 8);
    EXPECT_EQ(run.dialog.m_nLoaderTries, 10 - 1);  // leaving's own: one sighting
    ExpectFlashHolds(run.device.bootloader.Flash(), run.imageBytes);
}

TEST(UpdateCountdown, TwentySwitchesLostEndEnteringAsASilentLineDoes) {
    ScriptedRun run;
    run.device.acknowledges = false;
    run.device.switchesToEnter = 100;
    const UpdateOutcome outcome = run.Run();
    const std::vector<ReceivedFrame> received = run.Finish();

    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, kCannotEnterLoaderText);
    EXPECT_EQ(outcome.result, IDCANCEL);
    EXPECT_EQ(std::count_if(received.begin(), received.end(), IsSwitchRequest), 20);
    EXPECT_EQ(run.dialog.m_nLoaderTries, 10 - 1);
}

TEST(FirstOutcome, StandsWhenTheLineFallsSilentWhileItsBoxIsOpen) {
    // The last try of leaving finds the bootloader: its box stays open
    // longer than the watchdog allows a silent line.
    SilentRun run;
    run.answerDelayMs = 5'600;
    const UpdateOutcome outcome = run.Run([&](ObservedUpdateDlg& d) {
        d.m_nPhase = PHASE_LEAVE;
        d.m_nLoaderTries = 1;
        d.m_queue.Clear();
        d.m_nAwaitedCmd = CMD_STATUS;
        run.Deliver(d, StatusReply(true));
    });
    ASSERT_THAT(outcome.boxes, SizeIs(1));
    EXPECT_EQ(outcome.boxes[0].text, kCannotLeaveLoaderText);
    EXPECT_EQ(outcome.result, IDOK);
}

TEST(Keys, EnterDoesNotEndTheUpdateAndEscapeIsExit) {
    SilentRun run;
    bool runningAfterEnter = false;
    const UpdateOutcome outcome = run.Run([&](ObservedUpdateDlg& d) {
        QWidget* window = RunningDialogWindow(kUpdateDialog);
        QWidget* log = ControlWidget<QWidget>(kUpdateDialog, 1197);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(log, nullptr);
        log->setFocus();  // as after a click in the log
        for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(window, &press);
        }
        d.OnTimer(d.m_nPumpTimer);
        runningAfterEnter = RunningDialogWindow(kUpdateDialog) != nullptr && d.m_nTicks > 0;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(window, &escape);
    });
    EXPECT_TRUE(runningAfterEnter);
    EXPECT_THAT(outcome.boxes, IsEmpty());
    EXPECT_EQ(outcome.result, IDCANCEL);  // what "Выход" gives
}

class StatusOutsideEnterAndLeave : public ::testing::TestWithParam<std::tuple<std::uint8_t, bool>> {
};

TEST_P(StatusOutsideEnterAndLeave, IsIgnored) {
    const auto [phase, bootloaderRuns] = GetParam();
    SilentRun run;
    const UpdateOutcome outcome = run.Run([&](ObservedUpdateDlg& d) {
        d.m_nPhase = phase;
        d.m_queue.Clear();
        d.m_nAwaitedCmd = CMD_STATUS;
        d.m_nLoaderTries = 10;
        run.Deliver(d, StatusReply(bootloaderRuns));
        EXPECT_EQ(d.m_nAwaitedCmd, 0);
        EXPECT_TRUE(d.m_queue.IsEmpty());
        EXPECT_EQ(d.m_nPhase, phase);
        EXPECT_EQ(d.m_nLoaderTries, 10);
        EXPECT_FALSE(d.m_bEntryPending);
        EXPECT_TRUE(d.m_bKeepAlive);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_THAT(outcome.boxes, IsEmpty());
    EXPECT_THAT(outcome.log, SizeIs(2));
}

INSTANTIATE_TEST_SUITE_P(Phases, StatusOutsideEnterAndLeave,
                         ::testing::Combine(::testing::Values(PHASE_INFO, PHASE_WRITE, PHASE_VERIFY,
                                                              PHASE_DONE),
                                            ::testing::Bool()));

TEST(Pump, OutstandingIdentifyNeverHoldsUpTheQueue) {
    SilentRun run;
    run.Run([&](ObservedUpdateDlg& d) {
        d.m_queue.Clear();
        d.m_nAwaitedCmd = CMD_IDENTIFY;
        d.QueueStatusRequest();
        d.OnTimer(d.m_nPumpTimer);
        EXPECT_EQ(d.m_nAwaitedCmd, CMD_STATUS);
        EXPECT_TRUE(d.m_queue.IsEmpty());
        d.EndDialog(IDCANCEL);
    });
    const std::vector<ReceivedFrame> received = run.Received();
    ASSERT_THAT(received, ::testing::Not(IsEmpty()));
    EXPECT_THAT(received.back().bytes, ElementsAre(0xFE, CMD_STATUS, 0, 0x27, 0x50));
}

TEST(Pump, EntryWithoutReplySentExactlyOnceThenNothingUntilTheNextEntry) {
    SilentRun run;
    run.Run([&](ObservedUpdateDlg& d) {
        d.QueueSwitchToMain();
        for (int tick = 0; tick < 5; ++tick) {
            d.OnTimer(d.m_nPumpTimer);
        }
        EXPECT_EQ(d.m_nAwaitedCmd, 0);
        EXPECT_FALSE(d.m_bKeepAlive);
        d.EndDialog(IDCANCEL);
    });
    const std::vector<ReceivedFrame> received = run.Received();
    const auto firstSwitch = std::find_if(received.begin(), received.end(), IsSwitchRequest);
    ASSERT_NE(firstSwitch, received.end());
    EXPECT_EQ(firstSwitch + 1, received.end());
}

}  // namespace
}  // namespace updatetest

namespace updatetest {
namespace {

struct EndingReplyCase {
    const char* name;
    std::uint8_t awaited;
    bool entryPending;
    Bytes request;  // outstanding
    Bytes reply;
    const char* box;  // null: the run goes on
    UINT type;
    int result;
};

class RepliesThatEndTheRun : public ::testing::TestWithParam<EndingReplyCase> {};

TEST_P(RepliesThatEndTheRun, ShowTheirBoxAndEndCode) {
    const EndingReplyCase& c = GetParam();
    SilentRun run;
    const UpdateOutcome outcome = run.Run([&](ObservedUpdateDlg& d) {
        d.m_nAwaitedCmd = c.awaited;
        d.m_bEntryPending = c.entryPending;
        std::copy(c.request.begin(), c.request.end(), d.m_txFrame);
        run.Deliver(d, c.reply);
        d.EndDialog(IDCANCEL);  // ignored when the reply ended the run already
    });
    if (c.box == nullptr) {
        EXPECT_THAT(outcome.boxes, IsEmpty());
    } else {
        ASSERT_THAT(outcome.boxes, SizeIs(1));
        EXPECT_EQ(outcome.boxes[0].text, c.box);
        EXPECT_EQ(outcome.boxes[0].type, c.type);
    }
    EXPECT_EQ(outcome.result, c.result);
}

const std::uint8_t kZiron7Identity[] = {3, 11, 7, 0x39, 0x30};
const std::uint8_t kOtherIdentity[] = {5, 11, 7, 0x39, 0x30};
const std::uint8_t kWrongSignature[] = {static_cast<std::uint8_t>(kAccessCode[0] ^ 0xFF)};
// A read-back reply while no pass has started.
const std::uint8_t kStrayReadBack[] = {BL_READ_BACK, 0, 0};

Bytes ReadBackRequest() {
    Bytes frame(kFrameBufferSize);
    WriteLoaderHeader(frame.data(), 0x00, CMD_LOADER, kLoaderHeaderLength, kAccessCode,
                      BL_READ_BACK, 0);
    frame.resize(kFrameHeaderSize + kLoaderHeaderLength);
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RepliesThatEndTheRun,
    ::testing::Values(
        EndingReplyCase{"Ziron7", CMD_IDENTIFY, false, BuildIdentifyRequest(),
                        Reply(CMD_IDENTIFY, kZiron7Identity), nullptr, 0, IDCANCEL},
        EndingReplyCase{"OtherDevice", CMD_IDENTIFY, false, BuildIdentifyRequest(),
                        Reply(CMD_IDENTIFY, kOtherIdentity), "На линии связи не Зирон-7", MB_OK,
                        IDCANCEL},
        // Our own keep-alive come back late names no device: the run goes on.
        EndingReplyCase{"BareIdentify", CMD_IDENTIFY, false, BuildIdentifyRequest(),
                        Reply(CMD_IDENTIFY, {}), nullptr, 0, IDCANCEL},
        EndingReplyCase{"WrongSignature", CMD_LOADER, true, BuildSwitchRequest(kAccessCode),
                        Reply(CMD_LOADER, kWrongSignature),
                        "Неверна сигнатура блока - несовместимая версия!", MB_OK, IDOK},
        EndingReplyCase{"ReplyOutOfPlace", CMD_LOADER, false, ReadBackRequest(),
                        Reply(CMD_LOADER, kStrayReadBack), "Ошибка в EXE файле! 255", MB_OK, IDOK}),
    [](const ::testing::TestParamInfo<EndingReplyCase>& test) { return test.param.name; });

TEST(StatusReply, WithoutItsStatusByteIsPassedOverAndAskedAgain) {
    SilentRun run;
    const UpdateOutcome outcome = run.Run([&](ObservedUpdateDlg& d) {
        d.m_nPhase = PHASE_ENTER;
        d.m_nLoaderTries = 10;
        d.m_queue.Clear();
        d.QueueStatusRequest();
        d.OnTimer(d.m_nPumpTimer);
        ASSERT_EQ(d.m_nAwaitedCmd, CMD_STATUS);
        d.m_nTicks = 5;
        run.Deliver(d, Reply(CMD_STATUS, {}));
        // Not taken: still outstanding, the watchdog still counting.
        EXPECT_EQ(d.m_nAwaitedCmd, CMD_STATUS);
        EXPECT_EQ(d.m_nTicks, 5);
        EXPECT_EQ(d.m_nLoaderTries, 10);
        EXPECT_TRUE(d.m_queue.IsEmpty());
        std::this_thread::sleep_for(kDefaultSendSpacing);
        d.OnTimer(d.m_nPumpTimer);
        d.EndDialog(IDCANCEL);
    });
    const std::vector<ReceivedFrame> received = run.Received();
    ASSERT_THAT(received, SizeIs(::testing::Ge(2u)));
    EXPECT_EQ(received.back().Command(), CMD_STATUS);
    EXPECT_EQ(received[received.size() - 2].Command(), CMD_STATUS);
}

}  // namespace
}  // namespace updatetest
