// Listens to the run's session events for the oracle: counts the frames
// sent and those sent after the update's outcome box, keeps every box with
// its simulated time, and passes every event on to the session log, which
// the oracle then holds against what happened.
#pragma once

#include <cstdio>
#include <functional>
#include <utility>

#include "RunRecord.h"
#include "SessionEvents.h"
#include "SessionLog.h"

namespace simulation {

class RunRecorder final : public SessionEvents {
public:
    // Fills `record` and feeds `log`; with `trace` (may be null) also writes
    // every frame, log line and box there with its simulated time. None is
    // owned; all outlive the recorder.
    // `bootloaderRuns` tells which program the instrument runs as a frame
    // goes out.
    RunRecorder(RunRecord& record, SessionLog& log, std::FILE* trace,
                std::function<bool()> bootloaderRuns)
        : m_record(record), m_log(log), m_trace(trace), m_bootloaderRuns(std::move(bootloaderRuns)) {}

    // From now on a box is the update dialog's outcome: its first one after
    // this call (the question about the bootloader aside).
    void UpdateStarted() {
        m_updateRunning = true;
        m_record.updateStarted = MonotonicNow();
    }

    void OnPortOpened(std::string_view portName) override { m_log.OnPortOpened(portName); }
    void OnImageFile(std::string_view path, std::string_view sha256Hex) override {
        m_log.OnImageFile(path, sha256Hex);
    }
    void OnLineConfigured(std::uint32_t baudRate) override;
    void OnFrameSent(std::span<const std::uint8_t> frame) override;
    void OnFrameReceived(std::span<const std::uint8_t> frame) override;
    void OnChecksumFailed(std::span<const std::uint8_t> bytes) override;
    void OnInstrumentFound(const FoundInstrument& found) override { m_log.OnInstrumentFound(found); }
    void OnFirmwareRead(const HeldFirmware& firmware) override { m_log.OnFirmwareRead(firmware); }
    void OnUpdateDecided(UpdateDecision decision) override { m_log.OnUpdateDecided(decision); }
    void OnUpdateConcluded(UpdateConclusion conclusion) override {
        m_log.OnUpdateConcluded(conclusion);
    }
    void OnLogLine(std::string_view text) override;
    void OnMessageBox(std::string_view text) override;
    void OnRequestRepeated() override {
        ++m_record.requestsRepeated;
        m_log.OnRequestRepeated();
    }
    void OnVerification(bool passed) override { m_log.OnVerification(passed); }
    void OnUpdateEnded(int result, bool completed) override;

private:
    // One line of the trace: the simulated ms since the start, a word, and
    // text or bytes.
    void Trace(const char* what, std::string_view text);
    void Trace(const char* what, std::span<const std::uint8_t> bytes);

    RunRecord& m_record;
    SessionLog& m_log;
    std::FILE* m_trace;
    std::function<bool()> m_bootloaderRuns;
    bool m_updateRunning = false;
};

}  // namespace simulation
