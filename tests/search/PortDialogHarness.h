// The port dialog as the tests run it: a private device namespace, the one
// serial port object, the record, the embedded image, and a dialog that
// lets the test act once it runs and watch its OK button.
#pragma once

#include <QTimer>
#include <functional>
#include <string>

#include "AccessCode.h"
#include "CommandSet.h"
#include "DeviceInfo.h"
#include "DialogResults.h"
#include "FirmwareImage.h"
#include "PortDlg.h"
#include "PtyInstrument.h"
#include "SerialCWnd.h"
#include "TempDir.h"

using testsupport::PrivateDeviceDir;
using testsupport::PtyInstrument;

class TestPortDlg : public CPortDlg {
public:
    using Clock = PtyInstrument::Clock;

    // Runs once the dialog's loop runs.
    std::function<void(TestPortDlg&)> onRunning;
    Clock::time_point starting;  // when the start-up began
    bool okWasEnabled = false;   // seen enabled by the watch at any time

    bool OkEnabled() { return GetDlgItem(IDOK)->IsWindowEnabled() == TRUE; }
    std::string StatusShown() { return m_ctlStatus.GetWindowText(); }

    // Calls `check` every 10 ms until it returns true or `limitMs` pass;
    // then `then` runs with the outcome.
    void WatchUntil(std::function<bool()> check, int limitMs, std::function<void(bool)> then);

    // Ends the dialog as the Exit button would after `ms` milliseconds.
    void ExitAfter(int ms);

    // One tick of the search, as its timer gives it.
    void SearchTick() { OnTimer(m_nSearchTimer); }

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
};

struct PortDialogFixture {
    PortDialogFixture();

    PrivateDeviceDir devices;
    CSerialCWnd serial;
    DeviceInfo info;
    CFirmwareImage image{kAccessCodeLow, kAccessCodeHigh, CMD_LOADER};
    TestPortDlg dialog;
};
