// Runs the update dialog against an instrument on a pseudo-terminal through
// the real serial classes, with a recording operator in place of a person.
//
// Two kinds of instrument: the simulator (tests/sim SimProcess), and a
// scripted one inside the test (ScriptedInstrument) whose replies a test
// controls frame by frame.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "DeviceInfo.h"
#include "FirmwareImage.h"
#include "MessageBox.h"
#include "SerialCWnd.h"
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

// A request as the instrument received it.
struct ReceivedFrame {
    Bytes bytes;  // with its CRC
    std::uint8_t Command() const { return bytes.size() > 1 ? bytes[1] : 0; }
};

// An instrument played by the test on a pseudo-terminal entered as COM1 in
// a private device directory. Every request that arrives (cut by its length
// byte) is recorded and handed to the responder, whose replies (unsealed)
// are sealed and written back.
class ScriptedInstrument {
public:
    using Responder = std::function<std::vector<Bytes>(const ReceivedFrame& request)>;

    explicit ScriptedInstrument(Responder responder);
    ~ScriptedInstrument();
    ScriptedInstrument(const ScriptedInstrument&) = delete;
    ScriptedInstrument& operator=(const ScriptedInstrument&) = delete;

    const std::string& DeviceDirectory() const { return m_deviceDirectory; }
    // Seals and writes `frame` now, outside any request.
    void Inject(Bytes frame);
    // Writes `bytes` as they are.
    void InjectRaw(const Bytes& bytes);
    std::vector<ReceivedFrame> Received() const;

private:
    void Serve();

    Responder m_responder;
    std::string m_directory;
    std::string m_deviceDirectory;
    int m_master = -1;
    int m_slave = -1;  // held so the line never hangs up between openers
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<ReceivedFrame> m_received;
    std::thread m_thread;
};

// What a run of the dialog left behind.
struct UpdateOutcome {
    int result = -1;
    std::vector<std::string> log;
    std::vector<ShownMessage> boxes;
};

// Opens COM1 of `deviceDirectory` at `baud`, hands the port, a record of
// the instrument and `image` to `dialog` and runs it. The operator closes
// every box after `answerDelayMs`.
UpdateOutcome RunUpdate(ObservedUpdateDlg& dialog, const std::string& deviceDirectory,
                        std::int32_t baud, CFirmwareImage& image, int answerDelayMs = 100);

// Unsealed frames as the instrument sends them.
Bytes Reply(std::uint8_t command, std::span<const std::uint8_t> payload);
Bytes InfoTextReply(const std::string& text);
Bytes StatusReply(bool bootloaderRuns);

}  // namespace updatetest
