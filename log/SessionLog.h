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
//   - when the run ends: the instrument's identity, the outcome and the
//     wall time, the counts of repeated requests, failed checksums,
//     verification failures and passes, and the last 200 frames on the wire
//     (WireHistory, with the access code masked).
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
#include "SessionEvents.h"
#include "WireHistory.h"

// Who wrote the log: shown in its first lines.
struct ProgramStamp {
    std::string version;     // "1.0"
    std::string buildStamp;  // when the program was built
};

class SessionLog final : public SessionEvents {
public:
    // What the instrument told about itself, as the dialogs took it.
    struct Identity {
        std::optional<std::uint16_t> serialNumber;  // empty until the search found it
        std::uint16_t year = 0;
        std::uint8_t month = 0;
        std::uint8_t identifiedType = 0;  // from the identify reply
        std::uint32_t rateFound = 0;      // baud
        std::string firmwareDate;         // information step 0, once the firmware was read
        std::string firmwareTime;         // information step 1
        std::optional<std::uint16_t> firmwareType;  // empty until step 2 was read whole
        std::uint16_t firmwareVersion = 0;
        std::uint32_t reprogrammings = 0;
    };
    // The run's figures, as the closing section writes them.
    struct Counts {
        std::uint32_t repeatedRequests = 0;
        std::uint32_t updateChecksumFailures = 0;
        std::uint32_t searchChecksumFailures = 0;
        std::uint32_t verificationFailures = 0;
        std::uint32_t verificationPasses = 0;
    };

    // Logs into `folder` (empty: nowhere). Touches no file before a port opens.
    SessionLog(std::filesystem::path folder, ProgramStamp program);
    // Finishes the log if Finish has not.
    ~SessionLog();

    // Writes the closing sections; later reports are ignored.
    void Finish();
    // The file being written; empty while there is none.
    std::filesystem::path FilePath() const { return m_file.Path(); }
    const Identity& InstrumentIdentity() const { return m_identity; }
    // What the update dialog decided and how it ended; empty when it never
    // got that far.
    std::optional<UpdateDecision> Decision() const { return m_decision; }
    std::optional<UpdateConclusion> Conclusion() const { return m_conclusion; }
    const Counts& RunCounts() const { return m_counts; }

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
    void OnUpdateDecided(UpdateDecision decision) override;
    void OnUpdateConcluded(UpdateConclusion conclusion) override;
    void OnLogLine(std::string_view text) override;
    void OnMessageBox(std::string_view text) override;
    void OnRequestRepeated() override;
    void OnVerification(bool passed) override;
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

    WireHistory m_wire;
    Identity m_identity;
    std::string m_portName;
    std::string m_portDevice;  // empty when not told
    std::optional<UpdateDecision> m_decision;
    std::optional<UpdateConclusion> m_conclusion;
    bool m_updateStarted = false;      // the update dialog's first line has been shown
    std::int64_t m_updateStartMs = 0;
    std::optional<std::int64_t> m_updateEndMs;
    std::optional<int> m_updateResult;
    bool m_updateCompleted = false;
    std::string m_lastMessageBox;

    Counts m_counts;
};
