// Runs the update dialog against an instrument on a pseudo-terminal through
// the real serial classes, with a recording operator in place of a person.
//
// Two kinds of instrument: the simulator (SimProcess), and a scripted one
// inside the test (ScriptedInstrument) whose replies a test controls frame
// by frame.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "DeviceInfo.h"
#include "FirmwareImage.h"
#include "MessageBox.h"
#include "PtyInstrument.h"
#include "SerialCWnd.h"
#include "TempDir.h"
#include "UpdateDlg.h"

namespace updatetest {

using Bytes = std::vector<std::uint8_t>;

// The update dialog with its log and progress bar followed, and the
// protected operations opened up for tests that drive the pump by hand.
class ObservedUpdateDlg : public CUpdateDlg {
public:
    std::vector<std::string> log;
    std::vector<int> barPositions;  // the bar at every timer tick
    // Status line, percentage and bar as they changed, seen at timer ticks.
    std::vector<std::string> progressSeen;
    std::function<void(ObservedUpdateDlg&)> whenRunning;

    using CUpdateDlg::OnPortEvent;
    using CUpdateDlg::QueueStatusRequest;
    using CUpdateDlg::QueueSwitchToMain;

    void OnTimer(UINT_PTR id) override;

protected:
    BOOL OnInitDialog() override;
    void AddLogLine(const std::string& text) override;
};

// A request as the instrument received it, with its CRC.
using ReceivedFrame = testsupport::PtyInstrument::Received;

// An instrument played by the test on a pseudo-terminal entered as COM1 in
// a private device directory. Every request that arrives (cut by its length
// byte) is recorded and handed to the responder, whose replies (unsealed)
// are sealed and written back at once.
class ScriptedInstrument {
public:
    using Responder = std::function<std::vector<Bytes>(const ReceivedFrame& request)>;

    explicit ScriptedInstrument(Responder responder);

    const std::string& DeviceDirectory() const { return m_devices.Path(); }
    // Seals and writes `frame` now, outside any request.
    void Inject(Bytes frame);
    // Writes `bytes` as they are.
    void InjectRaw(const Bytes& bytes) { m_line.Send(bytes); }
    // See PtyInstrument: a line that stalls, a line that hangs up.
    void StopReading() { m_line.StopReading(); }
    void HangUp() { m_line.HangUp(); }
    std::vector<ReceivedFrame> Received() const { return m_line.Frames(); }

private:
    testsupport::PrivateDeviceDir m_devices;
    testsupport::PtyInstrument m_line;
};

// What a run of the dialog left behind.
struct UpdateOutcome {
    int result = -1;
    std::vector<std::string> log;
    std::vector<ShownMessage> boxes;
};

// The port the harness hands the dialog: it can tell what waits in its input.
class HarnessSerial : public CSerialCWnd {
public:
    // Bytes the driver holds for a read now.
    DWORD QueuedInput();
};

// Waits until at least `bytes` bytes wait in the dialog's input, or `most`
// has passed: a pseudo-terminal hands written bytes on from a kernel worker,
// which a loaded machine runs late.
void AwaitInput(ObservedUpdateDlg& dialog, std::size_t bytes,
                std::chrono::milliseconds most = std::chrono::seconds(5));

// Opens COM1 of `deviceDirectory` at `baud`, hands the port, a record of
// the instrument and `image` to `dialog` and runs it. The operator closes
// every box after `answerDelayMs`, answering Yes/No boxes with `yesNoAnswer`.
UpdateOutcome RunUpdate(ObservedUpdateDlg& dialog, const std::string& deviceDirectory,
                        std::int32_t baud, CFirmwareImage& image, int answerDelayMs = 100,
                        int yesNoAnswer = IDYES);

// Unsealed frames as the instrument sends them.
Bytes Reply(std::uint8_t command, std::span<const std::uint8_t> payload);
Bytes InfoTextReply(const std::string& text);
Bytes StatusReply(bool bootloaderRuns);

}  // namespace updatetest
