// The run sequence of the application object, with the operator's choices
// injected as the dialogs' end codes: which dialogs run, on which shared
// objects, and exactly when the not-completed warning appears.
#include <gmock/gmock.h>
#include <poll.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "DeviceInfo.h"
#include "DialogResults.h"
#include "FirmwareImage.h"
#include "FlasherApp.h"
#include "MessageBox.h"
#include "PortDlg.h"
#include "PseudoTerminal.h"
#include "SerialCWnd.h"
#include "TempDir.h"
#include "UpdateDlg.h"

namespace {

// End code of an update dialog stopped by its link watchdog.
constexpr int kWatchdogResult = 5;
// End code of a dialog that could not run at all.
constexpr int kDialogFailed = -1;

// What a dialog saw when it was run.
struct DialogRun {
    bool isPortDialog = false;
    bool isUpdateDialog = false;
    CSerialCWnd* serial = nullptr;
    DeviceInfo* deviceInfo = nullptr;
    CFirmwareImage* image = nullptr;
    std::size_t boxesBefore = 0;  // message boxes shown before the dialog ran
};

// Plays the operator: the dialogs end with scripted codes instead of running.
class ScriptedFlasherApp : public CFlasherApp {
public:
    ScriptedFlasherApp(const MessageBoxOperator& boxes, std::vector<int> results)
        : m_boxes(boxes), m_results(std::move(results)) {}

    // Load this instead of the module's image (an empty span fails).
    std::optional<std::span<const std::uint8_t>> imageBytes;
    // Runs inside the port dialog's turn, e.g. to open the port.
    std::function<void(CPortDlg&)> duringPortDialog;
    std::function<void(CUpdateDlg&)> duringUpdateDialog;

    std::vector<DialogRun> runs;

protected:
    bool LoadImage(CFirmwareImage& image) override {
        return imageBytes ? image.LoadFromBytes(*imageBytes) : CFlasherApp::LoadImage(image);
    }

    int RunModal(CDialog& dialog) override {
        DialogRun run;
        run.boxesBefore = m_boxes.Shown().size();
        if (auto* port = dynamic_cast<CPortDlg*>(&dialog)) {
            run.isPortDialog = true;
            run.serial = port->m_pSerial;
            run.deviceInfo = port->m_pDeviceInfo;
            run.image = port->m_pImage;
            if (duringPortDialog) {
                duringPortDialog(*port);
            }
        }
        if (auto* update = dynamic_cast<CUpdateDlg*>(&dialog)) {
            run.isUpdateDialog = true;
            run.serial = update->m_pSerial;
            run.deviceInfo = update->m_pDeviceInfo;
            run.image = update->m_pImage;
            if (duringUpdateDialog) {
                duringUpdateDialog(*update);
            }
        }
        runs.push_back(run);
        return runs.size() <= m_results.size() ? m_results[runs.size() - 1] : kDialogFailed;
    }

private:
    const MessageBoxOperator& m_boxes;
    std::vector<int> m_results;
};

struct Outcome {
    const char* name;
    std::vector<int> results;  // port dialog, then update dialog
    bool updateDialogRuns;
    bool warned;
};

class RunSequenceTest : public testing::TestWithParam<Outcome> {};

TEST_P(RunSequenceTest, RunsTheDialogsAndWarnsExactlyWhenTheUpdateDidNotEndWithOk) {
    const Outcome& outcome = GetParam();
    MessageBoxOperator boxes;
    ScriptedFlasherApp app(boxes, outcome.results);

    EXPECT_EQ(app.InitInstance(), FALSE);

    ASSERT_EQ(app.runs.size(), outcome.updateDialogRuns ? 2U : 1U);
    EXPECT_TRUE(app.runs[0].isPortDialog);
    if (outcome.updateDialogRuns) {
        EXPECT_TRUE(app.runs[1].isUpdateDialog);
    }
    if (outcome.warned) {
        ASSERT_EQ(boxes.Shown().size(), 1U);
        EXPECT_EQ(boxes.Shown()[0].text,
                  "ВНИМАНИЕ!\nОбновление программы не было завершено\n"
                  "Для работы прибора необходимо повторить операцию");
        EXPECT_EQ(boxes.Shown()[0].type, MB_OK | MB_ICONSTOP);
        // Only once the update dialog has closed.
        EXPECT_EQ(app.runs.back().boxesBefore, 0U);
    } else {
        EXPECT_TRUE(boxes.Shown().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    OperatorChoices, RunSequenceTest,
    testing::Values(Outcome{"ExitInPortDialog", {IDCANCEL}, false, false},
                    Outcome{"PortDialogCouldNotRun", {kDialogFailed}, false, false},
                    Outcome{"PortDialogOtherCode", {kWatchdogResult}, false, false},
                    Outcome{"UpdateEndedWithOk", {IDOK, IDOK}, true, false},
                    Outcome{"UpdateCancelled", {IDOK, IDCANCEL}, true, true},
                    Outcome{"UpdateWatchdog", {IDOK, kWatchdogResult}, true, true},
                    Outcome{"UpdateCouldNotRun", {IDOK, kDialogFailed}, true, true}),
    [](const testing::TestParamInfo<Outcome>& choice) { return std::string(choice.param.name); });

TEST(RunSequence, BothDialogsWorkOnTheSameLoadedImageRecordAndPort) {
    MessageBoxOperator boxes;
    ScriptedFlasherApp app(boxes, {IDOK, IDOK});
    app.InitInstance();

    ASSERT_EQ(app.runs.size(), 2U);
    const DialogRun& port = app.runs[0];
    const DialogRun& update = app.runs[1];
    ASSERT_NE(port.serial, nullptr);
    ASSERT_NE(port.deviceInfo, nullptr);
    ASSERT_NE(port.image, nullptr);
    EXPECT_EQ(update.serial, port.serial);
    EXPECT_EQ(update.deviceInfo, port.deviceInfo);
    EXPECT_EQ(update.image, port.image);
    EXPECT_TRUE(boxes.Shown().empty()) << "the embedded image loads without a message";
}

TEST(RunSequence, AnImageThatFailsToLoadEndsTheRunAfterTheLoadersMessageOnly) {
    MessageBoxOperator boxes;
    ScriptedFlasherApp app(boxes, {IDOK, IDCANCEL});
    app.imageBytes = std::span<const std::uint8_t>();

    EXPECT_EQ(app.InitInstance(), FALSE);

    EXPECT_TRUE(app.runs.empty()) << "no dialog, so no port is opened";
    ASSERT_EQ(boxes.Shown().size(), 1U);
    EXPECT_EQ(boxes.Shown()[0].type, MB_ICONSTOP);
    EXPECT_THAT(boxes.Shown()[0].text, testing::Not(testing::HasSubstr("ВНИМАНИЕ!")));
}

// A pseudo-terminal entered as COM<n> in a private device namespace. The
// test holds only the master end, so the far end sees a hang-up once nobody
// holds the port open.
class PseudoPort {
public:
    explicit PseudoPort(int comNumber) {
        m_pty.ReleaseSlave();
        m_pty.EnterAs(m_devices.Path(), comNumber);
    }

    bool Created() const { return m_pty.IsOpen(); }

    bool HungUp() const {
        pollfd watch{m_pty.MasterFd(), POLLIN, 0};
        return ::poll(&watch, 1, 0) == 1 && (watch.revents & POLLHUP) != 0;
    }

private:
    testsupport::PrivateDeviceDir m_devices;
    testsupport::PseudoTerminal m_pty;
};

TEST(RunSequence, ThePortOpenedBySearchStaysOpenAtItsRateUntilTheProgramEnds) {
    constexpr DWORD kFoundRate = 57600;  // bits per second
    PseudoPort line(7);
    ASSERT_TRUE(line.Created());
    MessageBoxOperator boxes;
    ScriptedFlasherApp app(boxes, {IDOK, IDCANCEL});
    app.duringPortDialog = [&](CPortDlg& dialog) {
        ASSERT_EQ(dialog.m_pSerial->Open("\\\\.\\COM7", static_cast<CWnd*>(nullptr), 0, 0, 0, 0),
                  0);
        ASSERT_EQ(dialog.m_pSerial->Configure(kFoundRate, 8, 0, 0), 0);
    };
    bool openDuringUpdate = false;
    LONG rateDuringUpdate = 0;
    app.duringUpdateDialog = [&](CUpdateDlg& dialog) {
        openDuringUpdate = dialog.m_pSerial->IsOpen();
        rateDuringUpdate = dialog.m_pSerial->GetBaudRate();
        EXPECT_FALSE(line.HungUp());
    };

    app.InitInstance();

    EXPECT_TRUE(openDuringUpdate);
    EXPECT_EQ(rateDuringUpdate, static_cast<LONG>(kFoundRate));
    EXPECT_TRUE(line.HungUp()) << "the port is closed when the run ends";
    EXPECT_EQ(boxes.Shown().size(), 1U) << "the cancelled update still warns";
}

}  // namespace
