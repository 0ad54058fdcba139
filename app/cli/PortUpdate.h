// One instrument's update (or verification) by ziron7-cli: the dialogs' run
// sequence on one port, with the image and the purpose of the command line,
// a session log of its own, and how it ended, as the result line, the JSON
// object and the row of a production line's table. Everything it runs and
// reports happens on the thread that calls Run, to its own ConsoleReport,
// so several of them run at once without meeting.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "FlasherRun.h"
#include "JsonText.h"
#include "ProductionLine.h"
#include "RunOutcome.h"
#include "RunFacts.h"

class ConsoleReport;

class PortUpdate final : public FlasherRun {
public:
    // `command` (update or verify) and `report` (not owned) outlive this
    // run; `port` has its COMn (number 0: no COMn stands for its device).
    PortUpdate(const CliCommand& command, PortArgument port, ConsoleReport& report);

    // The whole run: the search, the update or verification, the session
    // log, and on the report where the instrument stands, the exit code and
    // the log's path.
    void Run();

    Outcome GetOutcome() const { return m_outcome; }
    int ExitCode() const { return m_exitCode; }
    // "COM1: updated: the new firmware was written and verified".
    std::string ResultLine() const;
    // The result object of the run (ResultSchema.h).
    JsonObject ResultJson() const;
    // Its row in a production line's table.
    InstrumentRow Row() const;

protected:
    bool LoadImage(CFirmwareImage& image) override;
    int RunModal(CDialog& dialog) override;

private:
    // The image of this run: the file's, or the program's own.
    std::span<const std::uint8_t> ImageBytes() const;
    // The outcome of a port dialog that ended without the instrument.
    Outcome NotFound(CPortDlg::LineHeard heard) const;
    // The decision, the outcome and the instrument as the dialogs reported
    // them, and where the session log went.
    void TakeWhatTheRunDecided(const RunFacts& facts, std::filesystem::path logPath);
    // The pace the update had: "default", "fast", or "fast, then default"
    // once the line called for the default pace.
    std::string PaceText() const;
    // Names the outcome and tells the report where the instrument stands.
    void Conclude(Outcome outcome);

    const CliCommand& m_command;
    PortArgument m_port;
    ConsoleReport& m_report;
    std::uint8_t m_purpose = 0;  // PURPOSE_ of the update dialog
    std::vector<std::uint8_t> m_imageBytes;  // the image file; the image refers to it
    bool m_imageReady = false;  // the image loaded; ImageBytes holds it
    RunEnd m_end;
    bool m_portOpened = false;  // the search had the port open: the run met the line
    bool m_fastToTheEnd = false;  // the update kept the fast pace it was given
    std::string m_detail;        // what went wrong, more closely than the outcome says
    // What the run decided, and where its log went; empty when the run
    // never started (no COMn).
    struct Decided {
        RunFacts::Identity identity;
        RunFacts::Counts counts;
        std::filesystem::path path;  // empty when the log could not be written
    };
    std::optional<Decided> m_decided;
    std::chrono::steady_clock::duration m_wallTime{};
    Outcome m_outcome = Outcome::NoInstrument;
    int m_exitCode = kExitSuccess;
};
