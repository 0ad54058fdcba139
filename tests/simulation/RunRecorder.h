// Listens to the run's session events for the oracle, beside the run's facts
// and its session log: counts the frames sent and those sent after the
// update's outcome box, and keeps every box with its simulated time.
#pragma once

#include <cstdio>
#include <functional>
#include <utility>

#include "RunRecord.h"
#include "SessionEvents.h"

namespace simulation {

class RunRecorder final : public SessionEvents {
public:
    // Fills `record`; with `trace` (may be null) also writes every frame,
    // log line and box there with its simulated time. Neither is owned;
    // both outlive the recorder.
    // `bootloaderRuns` tells which program the instrument runs as a frame
    // goes out.
    RunRecorder(RunRecord& record, std::FILE* trace, std::function<bool()> bootloaderRuns)
        : m_record(record), m_trace(trace), m_bootloaderRuns(std::move(bootloaderRuns)) {}

    // From now on a box is the update dialog's outcome: its first one after
    // this call (the question about the bootloader aside).
    void UpdateStarted() {
        m_updateRunning = true;
        m_record.updateStarted = MonotonicNow();
    }

    void OnLineConfigured(std::uint32_t baudRate) override;
    void OnFrameSent(std::span<const std::uint8_t> frame) override;
    void OnFrameReceived(std::span<const std::uint8_t> frame) override;
    void OnChecksumFailed(std::span<const std::uint8_t> bytes) override;
    void OnLogLine(std::string_view text) override;
    void OnMessageBox(std::string_view text) override;
    void OnRequestRepeated() override { ++m_record.requestsRepeated; }
    void OnUpdateEnded(int result, bool completed) override;

private:
    // One line of the trace: the simulated ms since the start, a word, and
    // text or bytes.
    void Trace(const char* what, std::string_view text);
    void Trace(const char* what, std::span<const std::uint8_t> bytes);

    RunRecord& m_record;
    std::FILE* m_trace;
    std::function<bool()> m_bootloaderRuns;
    bool m_updateRunning = false;
};

}  // namespace simulation
