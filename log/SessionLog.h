// The session log: one plain-text UTF-8 file per run that opens a port, in
// the user's data folder (LogFiles.h), for the operator to send to the
// service centre. It listens to the run's SessionEvents and writes, in this
// order:
//
//   - the program's version and build stamp and the start time;
//   - as they happen, each with its time in ms from the start: the ports
//     opened, the instrument found and its firmware's identity (as the
//     search and the update dialog took them), the rate
//     changes during the update, every line of the update dialog's log and
//     every message box;
//   - when the run ends, from the run's facts (RunFacts): the instrument's
//     identity, the outcome and the wall time, the counts of repeated
//     requests, failed checksums, verification failures and passes; and the
//     last 200 frames on the wire (WireHistory, with the access code masked).
//
// The file is created, and the oldest logs beyond the newest 100 removed,
// when the first port opens; what happened before is written then. It is
// renamed once the instrument's serial number is known. A folder or file
// that cannot be written leaves the log missing and nothing else changes.
//
// Lives on the user-interface thread, like every report it receives.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "LogFiles.h"
#include "RunFacts.h"
#include "SessionEvents.h"
#include "WireHistory.h"

// Who wrote the log: shown in its first lines.
struct ProgramStamp {
    std::string version;     // "1.0"
    std::string buildStamp;  // when the program was built
};

class SessionLog final : public SessionEvents {
public:
    // Logs into `folder` (empty: nowhere). Touches no file before a port
    // opens. The closing sections write `facts` (not owned, outlives the
    // log), which hear the run's events before the log does.
    SessionLog(std::filesystem::path folder, ProgramStamp program, const RunFacts& facts);
    // Finishes the log if Finish has not.
    ~SessionLog();

    // Writes the closing sections; later reports are ignored.
    void Finish();
    // The file being written; empty while there is none.
    std::filesystem::path FilePath() const { return m_file.Path(); }

    void OnPortOpened(std::string_view portName) override;
    void OnImageFile(std::string_view path, std::string_view sha256Hex) override;
    void OnEmbeddedImage(std::string_view sha256Hex) override;
    // The device the port stands for (/dev/ttyUSB0, and the name the user
    // gave it when that differs), written with the port when it opens and
    // in the instrument's section. Call before the port opens.
    void SetPortDevice(std::string device);
    void OnLineConfigured(std::uint32_t baudRate) override;
    void OnFrameSent(std::span<const std::uint8_t> frame) override;
    void OnFrameReceived(std::span<const std::uint8_t> frame) override;
    void OnChecksumFailed(std::span<const std::uint8_t> bytes) override;
    void OnInstrumentFound(const FoundInstrument& found) override;
    void OnFirmwareRead(const HeldFirmware& firmware) override;
    void OnLogLine(std::string_view text) override;
    void OnMessageBox(std::string_view text) override;
    void OnUpdateEnded(int result, bool completed) override;
    void OnLineConclusion(std::string_view code, std::string_view text) override;

private:
    std::int64_t ElapsedMs() const;
    // A timed line: written at once, or kept until the file exists.
    void Note(std::string_view text);
    void StartFile();
    std::string IdentitySection() const;
    std::string OutcomeSection() const;
    std::string CountsSection() const;

    std::filesystem::path m_folder;
    ProgramStamp m_program;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::system_clock::time_point m_startWall;  // the same instant, on the calendar
    std::string m_startStamp;  // for the file name
    std::string m_startText;   // for the header
    LogFile m_file;
    std::string m_pending;       // written when the file is created
    bool m_fileStarted = false;  // the first port has opened: lines go to the file, if any
    bool m_finished = false;

    const RunFacts& m_facts;
    WireHistory m_wire;
    std::optional<std::uint16_t> m_namedSerial;  // the serial number in the file's name
    std::string m_portName;
    std::string m_portDevice;  // empty when not told
    std::optional<std::int64_t> m_updateStartMs;  // the update dialog's first line
    std::optional<std::int64_t> m_updateEndMs;
    std::optional<int> m_updateResult;
    bool m_updateCompleted = false;
    std::string m_lastMessageBox;
};
