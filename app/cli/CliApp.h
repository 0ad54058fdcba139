// The application object of ziron7-cli: the operator's run sequence of the
// dialogs (CFlasherApp) with the port, the image and the purpose taken from
// the command line, or the search alone over several ports (find). It keeps
// how the run ended, names it as an outcome and maps that onto the exit
// code.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "FlasherApp.h"
#include "JsonText.h"
#include "RunOutcome.h"

class ConsoleReport;
class SessionLog;

class CCliApp final : public CFlasherApp {
public:
    // `report` (not owned) shows the run on stderr; `results` (not owned)
    // takes what a script reads: find's lines, the outcome, or the JSON
    // object.
    CCliApp(CliCommand command, ConsoleReport& report, std::FILE* results);

    BOOL InitInstance() override;
    int ExitCode() const { return m_exitCode; }

protected:
    bool LoadImage(CFirmwareImage& image) override;
    int RunModal(CDialog& dialog) override;

private:
    // Maps each port named by its device onto its COMn; false, with the
    // result written, when a device has none.
    bool ResolvePorts();
    void RunUpdate();
    void RunFind();
    // Searches `port` and reads the firmware's identity when asked; the
    // port's entry of find's JSON.
    JsonObject FindOn(const PortArgument& port, CFirmwareImage& image, Outcome& outcome);
    // The outcome of a port dialog that ended without the instrument.
    Outcome NotFound(CPortDlg::LineHeard heard) const;
    // The image of this run: the file's, or the program's own.
    std::span<const std::uint8_t> ImageBytes() const;
    // The decision and the outcome as the update dialog reported them to
    // `log`, and whether the image passed verification.
    void TakeWhatTheRunDecided(const SessionLog& log);
    // The pace the update had: "default", "fast", or "fast, then default"
    // once the line called for the default pace.
    std::string PaceText() const;
    void WriteResult(Outcome outcome, const SessionLog* log,
                     std::chrono::steady_clock::duration wallTime);
    void WriteJson(const JsonObject& result) const;

    CliCommand m_command;
    ConsoleReport& m_report;
    std::FILE* m_results;
    std::vector<std::uint8_t> m_imageBytes;  // the image file; the image refers to it
    bool m_imageReady = false;  // the image loaded; ImageBytes holds it
    RunEnd m_end;
    std::uint8_t m_purpose = 0;  // PURPOSE_ of the update dialog
    bool m_fastToTheEnd = false;  // the update kept the fast pace it was given
    std::string m_detail;        // what went wrong, more closely than the outcome says
    int m_exitCode = kExitSuccess;
};
