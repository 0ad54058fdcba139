// The port dialog against a line: the requests as the line sees them, the
// instrument found at every rate, other devices, replies in pieces, another
// port, a port that does not open, and the About box during the search.
#include <gmock/gmock.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "AboutDlg.h"
#include "DecisionsHeard.h"
#include "DialogIds.h"
#include "LinkFrame.h"
#include "MessageBox.h"
#include "PortDialogHarness.h"
#include "ReplyTransit.h"
#include "RunningDialog.h"
#include "SearchBaudRates.h"
#include "SimProcess.h"
#include "TempDir.h"
#include "UserSettings.h"

namespace {

using namespace std::chrono_literals;
using Piece = PtyInstrument::Piece;
using testsupport::SimProcess;

const std::vector<std::uint8_t> kIdentifyRequest = {0xFE, 0x46, 0x00, 0x22, 0x50};

// An identify reply with the given device type and payload length (5 is
// whole: type, year - 2000, month, serial number low and high byte).
std::vector<std::uint8_t> IdentifyReply(std::uint8_t deviceType, std::uint8_t payloadLength = 5) {
    std::uint8_t frame[kFrameBufferSize] = {0xFE,          0x46, payloadLength, deviceType,
                                            0x0B /*2011*/, 0x07, 0x39,          0x30};
    const std::uint8_t total = SealFrame(frame);
    return {frame, frame + total};
}

// The rate of the k-th request (from 0) of a search that nothing answers:
// two ticks at 4800 after the port check, then three per rate.
int SilentSearchRate(std::size_t k) {
    return SearchBaudRates[((k + 1) / 3) % SearchBaudRates.size()];
}

TEST(PortDialog, SearchesEveryRateThreeTicksEachAndGivesUpOnTheNinetiethTick) {
    PortDialogFixture f;
    PtyInstrument line(f.devices.Path(), 1);
    MessageBoxOperator person;
    std::string statusAtStart;
    f.dialog.onRunning = [&](TestPortDlg& d) { statusAtStart = d.StatusShown(); };

    EXPECT_EQ(f.dialog.DoModal(), IDCANCEL);
    const auto ended = TestPortDlg::Clock::now();

    EXPECT_EQ(statusAtStart, "Порт COM1 доступен");
    ASSERT_EQ(person.Shown().size(), 1u);
    EXPECT_EQ(person.Shown()[0].text, "Нет связи с Зирон-7!");
    EXPECT_EQ(person.Shown()[0].type, MB_OK | MB_ICONSTOP);

    // 89 requests: the 90th tick gives up instead of sending.
    line.WaitForFrames(90, 200ms);
    const auto frames = line.Frames();
    ASSERT_EQ(frames.size(), 89u);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(frames[k].bytes, kIdentifyRequest) << "request " << k;
        EXPECT_EQ(frames[k].rate, SilentSearchRate(k)) << "request " << k;
    }
    // The first request waits for the first tick; timers never fire early,
    // so 90 ticks cannot end before 4.5 s.
    EXPECT_GE(frames[0].at - f.dialog.starting, 50ms);
    EXPECT_GE(ended - f.dialog.starting, 4500ms);
    EXPECT_FALSE(f.dialog.okWasEnabled);
}

TEST(PortDialog, ASearchTickTheSystemRefusesGivesUpAtOnce) {
    // Without its tick the search would neither send nor give up, and a
    // console program would wait for ever. Id 0 is one no timer can have.
    PortDialogFixture f;
    PtyInstrument line(f.devices.Path(), 1);
    MessageBoxOperator person;
    f.dialog.m_nSearchTimer = 0;
    QObject bound;  // ends a dialog that would run for ever; goes with the test
    QTimer::singleShot(2000, &bound, [&] { f.dialog.EndDialog(IDOK); });

    // Cancelled by the give-up, not ended by the bound.
    EXPECT_EQ(f.dialog.DoModal(), IDCANCEL);
    ASSERT_EQ(person.Shown().size(), 1u);
    EXPECT_EQ(person.Shown()[0].text, "Нет связи с Зирон-7!");
    EXPECT_TRUE(line.Frames().empty());
}

class FoundAtRate : public testing::TestWithParam<int> {};

TEST_P(FoundAtRate, FillsTheRecordEnablesOkAndLeavesThePortAtThatRate) {
    const int rate = GetParam();
    PortDialogFixture f;
    SimProcess sim(f.devices.Path(), {"--com", "1", "--baud", std::to_string(rate), "--year",
                                      "2011", "--month", "7", "--serial", "12345"});
    ASSERT_TRUE(sim.IsReady());
    std::string status;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        d.WatchUntil([&] { return d.OkEnabled(); }, 3000,
                     [&](bool found) {
                         status = d.StatusShown();
                         if (found) {
                             ControlWidget<QPushButton>(kPortDialog, IDOK)->click();
                         } else {
                             d.EndDialog(IDCANCEL);
                         }
                     });
    };
    EXPECT_EQ(f.dialog.DoModal(), IDOK);
    EXPECT_EQ(status, "Зирон-7 найден. Скорость " + std::to_string(rate));
    EXPECT_EQ(f.info.year, 2011);
    EXPECT_EQ(f.info.month, 7);
    EXPECT_EQ(f.info.serialNumber, 12345);
    EXPECT_EQ(f.info.baudRate, rate);
    EXPECT_TRUE(f.serial.IsOpen());
    EXPECT_EQ(f.serial.GetBaudRate(), rate);
}

INSTANTIATE_TEST_SUITE_P(PortDialog, FoundAtRate, testing::ValuesIn(SearchBaudRates));

// The instrument answers every tick while the dialog stays open; the
// session hears of it once, with the rate at which it answered.
TEST(PortDialog, TellsTheSessionOnceWhichInstrumentItFound) {
    PortDialogFixture f;
    SimProcess sim(f.devices.Path(), {"--com", "1", "--baud", "19200", "--year", "2011",
                                      "--month", "7", "--serial", "12345"});
    ASSERT_TRUE(sim.IsReady());
    testsupport::DecisionsHeard heard;
    const SessionEventsScope listening(heard);
    f.dialog.onRunning = [&](TestPortDlg& d) {
        d.WatchUntil([&] { return d.OkEnabled(); }, 3000, [&](bool) { d.ExitAfter(500); });
    };
    f.dialog.DoModal();
    const FoundInstrument expected{kZiron7DeviceType, 12345, 2011, 7, 19200};
    EXPECT_THAT(heard.found, testing::ElementsAre(expected));
    EXPECT_TRUE(heard.decisions.empty());
}

TEST(PortDialog, AReplyInTheDriverWhenTheRateIsDueToChangeIsRecordedWithItsOwnRate) {
    // The reply to a request at 4800 has arrived, but its notification has
    // not been handled yet when the tick that changes the rate comes.
    PortDialogFixture f;
    PtyInstrument line(f.devices.Path(), 1);
    f.dialog.onRunning = [&](TestPortDlg& d) {
        d.KillTimer(d.m_nSearchTimer);  // the test gives the ticks
        // A tick after the port has run at 4800 for longer than an adapter
        // holds bytes: what comes in from then on came at 4800.
        std::this_thread::sleep_for(std::chrono::milliseconds(kLongestAdapterHoldMs + 5));
        d.SearchTick();
        d.m_nTicks = 2;  // the third tick at 4800 is next
        line.Send(IdentifyReply(3));
        std::this_thread::sleep_for(30ms);  // in the driver, its notification queued
        d.SearchTick();
        d.ExitAfter(100);
    };
    f.dialog.DoModal();
    EXPECT_EQ(f.info.serialNumber, 12345);
    EXPECT_EQ(f.info.baudRate, 4800);
    EXPECT_EQ(f.serial.GetBaudRate(), 4800);  // the reply holds the rate
}

TEST(PortDialog, AnotherDeviceTypeHoldsTheRateAndNeverEnablesOk) {
    PortDialogFixture f;
    SimProcess sim(f.devices.Path(), {"--com", "1", "--baud", "19200", "--device-type", "5"});
    ASSERT_TRUE(sim.IsReady());
    std::string status;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        // Two whole passes' time: a search that moved on would have left 19200.
        QTimer::singleShot(1800, [&] {
            status = d.StatusShown();
            d.EndDialog(IDCANCEL);
        });
    };
    EXPECT_EQ(f.dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(status, "Найдено неизвестное устройство (Не есть Зирон-7). Скорость 19200");
    EXPECT_EQ(f.dialog.m_nBaudIndex, 2);
    EXPECT_EQ(f.dialog.m_nScans, 0);
    EXPECT_FALSE(f.dialog.okWasEnabled);
    EXPECT_EQ(f.info.baudRate, 0);
}

// A two-wire adapter returns each identify request as a valid frame: it is
// our own, not a device of another type, and holds nothing.
TEST(PortDialog, OurOwnRequestsComingBackHoldNoRateAndTheInstrumentIsFoundAtItsOwn) {
    PortDialogFixture f;
    SimProcess sim(f.devices.Path(), {"--com", "1", "--baud", "9600", "--echo"});
    ASSERT_TRUE(sim.IsReady());
    std::string status;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        d.WatchUntil([&] { return d.OkEnabled(); }, 3000, [&](bool) {
            status = d.StatusShown();
            d.EndDialog(IDCANCEL);
        });
    };
    EXPECT_EQ(f.dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(status, "Зирон-7 найден. Скорость 9600");
    EXPECT_EQ(f.info.baudRate, 9600);
    EXPECT_GT(f.dialog.m_echo.EchoesPassedOver(), 0u);
    EXPECT_EQ(f.dialog.Heard(), CPortDlg::LineHeard::OwnBytes);
}

// On an echoing line the requests of whoever used the port before, a
// diagnosis or an earlier search, may still be coming back after the port
// opened and its input was emptied: our own request, before we sent one.
TEST(PortDialog, OurRequestComingBackBeforeTheFirstTickIsOurOwnNotAnotherDevice) {
    PortDialogFixture f;
    PtyInstrument line(f.devices.Path(), 1);
    std::string status;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        line.Send(kIdentifyRequest);
        QTimer::singleShot(40, [&] { status = d.StatusShown(); });
        d.ExitAfter(300);
    };
    f.dialog.DoModal();
    EXPECT_EQ(status, "Порт COM1 доступен");
    EXPECT_EQ(f.dialog.m_echo.EchoesPassedOver(), 1u);
    EXPECT_EQ(f.dialog.Heard(), CPortDlg::LineHeard::OwnBytes);
}

struct UnattendedLineCase {
    const char* name;
    std::vector<std::string> simOptions;
    CPortDlg::LineHeard heard;
};

class UnattendedSearch : public testing::TestWithParam<UnattendedLineCase> {};

// With nobody at the screen only the Зирон-7 holds a rate: a line where
// something else answers, or only our own bytes come back, ends after the
// five passes of a silent one, and the dialog tells what it heard.
TEST_P(UnattendedSearch, GivesUpAfterFivePassesAndTellsWhatAnswered) {
    PortDialogFixture f;
    std::vector<std::string> options = {"--com", "1"};
    options.insert(options.end(), GetParam().simOptions.begin(), GetParam().simOptions.end());
    SimProcess sim(f.devices.Path(), options);
    ASSERT_TRUE(sim.IsReady());
    MessageBoxOperator person;
    f.dialog.m_bUnattended = true;
    EXPECT_EQ(f.dialog.DoModal(), IDCANCEL);
    const auto took = TestPortDlg::Clock::now() - f.dialog.starting;
    ASSERT_EQ(person.Shown().size(), 1u);
    EXPECT_EQ(person.Shown()[0].text, "Нет связи с Зирон-7!");
    EXPECT_GE(took, 4500ms);
    EXPECT_LT(took, 8000ms);  // five passes and a loaded machine
    EXPECT_EQ(f.dialog.Heard(), GetParam().heard);
    EXPECT_FALSE(f.dialog.okWasEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    PortDialog, UnattendedSearch,
    testing::Values(
        UnattendedLineCase{"AnotherDeviceType", {"--baud", "19200", "--device-type", "5"},
                           CPortDlg::LineHeard::AnotherDevice},
        UnattendedLineCase{"LoopbackPlug", {"--echo", "--silent-after", "0"},
                           CPortDlg::LineHeard::OwnBytes},
        UnattendedLineCase{"Silence", {"--silent-after", "0"}, CPortDlg::LineHeard::Nothing}),
    [](const testing::TestParamInfo<UnattendedLineCase>& each) { return each.param.name; });

struct SplitReplyCase {
    const char* name;
    int pauseMs;  // between the reply's first four bytes and the rest
    bool accepted;
};

class ReplyInTwoPieces : public testing::TestWithParam<SplitReplyCase> {};

// The receive gap keeps a partial reply for 50 ms after its last byte.
TEST_P(ReplyInTwoPieces, IsTakenOnlyWhenThePiecesComeWithinTheGap) {
    const SplitReplyCase& c = GetParam();
    PortDialogFixture f;
    const auto reply = IdentifyReply(3);
    PtyInstrument line(f.devices.Path(), 1, [&](const PtyInstrument::Received&, int index) {
        if (index != 0) {
            return std::vector<Piece>{};
        }
        return std::vector<Piece>{{0, {reply.begin(), reply.begin() + 4}},
                                  {c.pauseMs, {reply.begin() + 4, reply.end()}}};
    });
    f.dialog.onRunning = [&](TestPortDlg& d) { d.ExitAfter(400); };
    f.dialog.DoModal();
    EXPECT_EQ(f.dialog.okWasEnabled, c.accepted);
    EXPECT_EQ(f.info.serialNumber, c.accepted ? 12345 : 0);
    EXPECT_EQ(f.info.baudRate, c.accepted ? 4800 : 0);
    // A taken reply holds 4800 for three more ticks; without one the third
    // request already goes out at 9600.
    const auto frames = line.Frames();
    const auto leaving = std::find_if(frames.begin(), frames.end(),
                                      [](const auto& frame) { return frame.rate != 4800; });
    ASSERT_NE(leaving, frames.end());
    if (c.accepted) {
        EXPECT_GE(leaving - frames.begin(), 3);
    } else {
        EXPECT_EQ(leaving - frames.begin(), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(PortDialog, ReplyInTwoPieces,
                         testing::Values(SplitReplyCase{"CloseTogether", 10, true},
                                         SplitReplyCase{"TooFarApart", 120, false}),
                         [](const testing::TestParamInfo<SplitReplyCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(PortDialog, ATooShortTypeThreeReplyIsAnUnknownDevice) {
    PortDialogFixture f;
    const auto shortReply = IdentifyReply(3, 1);
    PtyInstrument line(f.devices.Path(), 1, [&](const PtyInstrument::Received&, int) {
        return std::vector<Piece>{{0, shortReply}};
    });
    std::string status;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        QTimer::singleShot(300, [&] {
            status = d.StatusShown();
            d.EndDialog(IDCANCEL);
        });
    };
    f.dialog.DoModal();
    EXPECT_EQ(status, "Найдено неизвестное устройство (Не есть Зирон-7). Скорость 4800");
    EXPECT_FALSE(f.dialog.okWasEnabled);
    EXPECT_EQ(f.info.year, 0);
}

TEST(PortDialog, AnotherPortDisablesOkAtOnceAndSearchesAfreshFrom4800) {
    PortDialogFixture f;
    SimProcess sim(f.devices.Path(), {"--com", "1", "--baud", "9600"});
    ASSERT_TRUE(sim.IsReady());
    // COM2 answers at whatever rate the line has.
    PtyInstrument second(f.devices.Path(), 2, [](const PtyInstrument::Received&, int) {
        return std::vector<Piece>{{0, IdentifyReply(3)}};
    });
    bool okRightAfterSwitch = true;
    std::string statusRightAfterSwitch;
    int rateIndexAfterSwitch = -1;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        d.WatchUntil([&] { return d.OkEnabled(); }, 3000,
                     [&](bool found) {
                         ASSERT_TRUE(found);
                         ASSERT_EQ(f.info.baudRate, 9600);
                         // the operator picks COM2
                         ControlWidget<QComboBox>(kPortDialog, kPortList)->setCurrentIndex(1);
                         okRightAfterSwitch = d.OkEnabled();
                         statusRightAfterSwitch = d.StatusShown();
                         rateIndexAfterSwitch = d.m_nBaudIndex;
                         d.WatchUntil([&] { return d.OkEnabled(); }, 3000,
                                      [&](bool) { d.EndDialog(IDOK); });
                     });
    };
    EXPECT_EQ(f.dialog.DoModal(), IDOK);
    EXPECT_FALSE(okRightAfterSwitch);
    EXPECT_EQ(statusRightAfterSwitch, "Порт COM2 доступен");
    EXPECT_EQ(rateIndexAfterSwitch, 0);
    ASSERT_FALSE(second.Frames().empty());
    EXPECT_EQ(second.Frames()[0].rate, 4800);
    EXPECT_EQ(f.info.baudRate, 4800);
    EXPECT_EQ(f.dialog.StatusShown(), "");  // loose after the run
}

TEST(PortDialog, APortThatDoesNotOpenSaysSoAndWhyAndTheSearchWaits) {
    PortDialogFixture f;
    PtyInstrument first(f.devices.Path(), 1);
    MessageBoxOperator person;
    std::string status;
    std::string reason;
    std::size_t framesOnCom1 = 0;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        // COM200 is neither in the device namespace nor on this machine.
        ControlWidget<QComboBox>(kPortDialog, kPortList)->setCurrentIndex(199);
        framesOnCom1 = first.Frames().size();
        QTimer::singleShot(300, [&] {
            status = d.StatusShown();
            reason = ControlWidget<QLabel>(kPortDialog, kStatusLine)->toolTip().toStdString();
            d.EndDialog(IDCANCEL);
        });
    };
    f.dialog.DoModal();
    EXPECT_EQ(status, "Порт COM200 недоступен");
    EXPECT_THAT(reason, testing::HasSubstr("Нет такого устройства"));
    EXPECT_FALSE(f.serial.IsOpen());
    EXPECT_EQ(first.Frames().size(), framesOnCom1);  // the ticks send nothing
    EXPECT_FALSE(f.dialog.okWasEnabled);
    EXPECT_TRUE(person.Shown().empty());
}

TEST(PortDialog, APortHeldByAnotherProgramSaysItIsBusy) {
    PortDialogFixture f;
    PtyInstrument line(f.devices.Path(), 1);
    CSerialCWnd otherProgram;
    ASSERT_EQ(otherProgram.Open("\\\\.\\COM1", static_cast<CWnd*>(nullptr), 0, 0, 0, 0), 0);
    std::string reason;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        reason = ControlWidget<QLabel>(kPortDialog, kStatusLine)->toolTip().toStdString();
        EXPECT_EQ(d.StatusShown(), "Порт COM1 недоступен");
        d.EndDialog(IDCANCEL);
    };
    f.dialog.DoModal();
    EXPECT_THAT(reason, testing::HasSubstr("занят другой программой"));
    EXPECT_TRUE(line.Frames().empty());
}

TEST(PortDialog, CaptionNamesTheImagesVersionAndDate) {
    PortDialogFixture f;
    std::string caption;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        caption = d.GetWindowText();
        d.EndDialog(IDCANCEL);
    };
    f.dialog.DoModal();
    EXPECT_EQ(caption, "Обновление программы Зирон-7 до версии №" +
                           std::to_string(f.image.GetVersion()) + " от " +
                           f.image.GetBuildDateText());
}

TEST(PortDialog, PortListHoldsCom1ToCom255WithCom1Selected) {
    PortDialogFixture f;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        EXPECT_EQ(d.m_ctlPort.GetCount(), 255);
        EXPECT_EQ(d.m_ctlPort.GetCurSel(), 0);
        std::string last;
        d.m_ctlPort.GetLBText(254, last);
        EXPECT_EQ(last, "COM255");
        d.EndDialog(IDCANCEL);
    };
    f.dialog.DoModal();
}

// The dialog with settings installed, as the operator's program runs it.
struct RememberingFixture : PortDialogFixture {
    testsupport::TempDir config;
    UserSettings settings{config / "settings.ini"};
    UserSettingsScope remembering{settings};
};

// Makes COM1 to COM`last` missing ports, whatever serial devices this
// machine has: an entry whose device is gone.
void MissingPortsUpTo(const std::string& deviceDir, int last) {
    for (int number = 1; number <= last; ++number) {
        std::filesystem::create_symlink("/nonexistent/tty",
                                        deviceDir + "/com" + std::to_string(number));
    }
}

// The port the dialog selected at start, as "COMn", and the status once
// the search has run for `ms` milliseconds.
std::pair<std::string, std::string> SelectedAtStart(TestPortDlg& dialog, int ms) {
    std::pair<std::string, std::string> seen;
    dialog.onRunning = [&](TestPortDlg& d) {
        d.m_ctlPort.GetLBText(d.m_ctlPort.GetCurSel(), seen.first);
        QTimer::singleShot(ms, [&] {
            seen.second = d.StatusShown();
            d.EndDialog(IDCANCEL);
        });
    };
    dialog.DoModal();
    return seen;
}

TEST(PortDialog, StartsOnTheRememberedPortAndRemembersWhereTheInstrumentIsFound) {
    RememberingFixture f;
    PtyInstrument other(f.devices.Path(), 2);
    SimProcess sim(f.devices.Path(), {"--com", "5", "--baud", "4800"});
    ASSERT_TRUE(sim.IsReady());
    ASSERT_TRUE(f.settings.RememberPort(5));
    const auto [port, status] = SelectedAtStart(f.dialog, 500);
    EXPECT_EQ(port, "COM5");
    EXPECT_EQ(status, "Зирон-7 найден. Скорость 4800");

    // Found on the first port present once the remembered one is gone.
    RememberingFixture again;
    MissingPortsUpTo(again.devices.Path(), 2);
    SimProcess moved(again.devices.Path(), {"--com", "3", "--baud", "4800"});
    ASSERT_TRUE(moved.IsReady());
    ASSERT_TRUE(again.settings.RememberPort(9));
    EXPECT_EQ(SelectedAtStart(again.dialog, 500).first, "COM3");
    EXPECT_EQ(again.settings.LastPort(), 3);
}

TEST(PortDialog, GarbledSettingsStartOnTheFirstPortPresentAndNothingFoundIsNotRemembered) {
    RememberingFixture f;
    MissingPortsUpTo(f.devices.Path(), 1);
    PtyInstrument silent(f.devices.Path(), 2);
    std::ofstream(f.config / "settings.ini") << "last_port=COM2x\n";
    const auto [port, status] = SelectedAtStart(f.dialog, 300);
    EXPECT_EQ(port, "COM2");
    EXPECT_THAT(status, testing::StartsWith("Поиск..."));
    EXPECT_EQ(f.settings.LastPort(), std::nullopt);
}

// The console program names its port; the settings are neither read nor
// written for it, as the console program installs none (UserSettings.h).
TEST(PortDialog, APortNamedByTheProgramIsSelectedWhateverIsRemembered) {
    RememberingFixture f;
    PtyInstrument present(f.devices.Path(), 2);
    ASSERT_TRUE(f.settings.RememberPort(2));
    f.dialog.m_nInitialPort = 6;
    EXPECT_EQ(SelectedAtStart(f.dialog, 0).first, "COM7");
}

TEST(PortDialog, HelpShowsTheAboutBoxWhileTheSearchGoesOn) {
    PortDialogFixture f;
    PtyInstrument line(f.devices.Path(), 1);
    std::size_t framesWhenOpened = 0;
    std::size_t framesWhenClosed = 0;
    std::string versionShown;
    f.dialog.onRunning = [&](TestPortDlg& d) {
        QTimer::singleShot(400, [&] {
            framesWhenClosed = line.Frames().size();
            versionShown = ControlWidget<QLabel>(kAboutBox, kVersionLine)->text().toStdString();
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(RunningDialogWindow(kAboutBox), &esc);
        });
        framesWhenOpened = line.Frames().size();
        // returns when the box is closed
        ControlWidget<QPushButton>(kPortDialog, kHelpButton)->click();
        d.EndDialog(IDCANCEL);
    };
    EXPECT_EQ(f.dialog.DoModal(), IDCANCEL);
    EXPECT_GE(framesWhenClosed, framesWhenOpened + 5);  // about eight ticks went by
    EXPECT_EQ(versionShown, CAboutDlg().GetVersionLine());
}

}  // namespace
