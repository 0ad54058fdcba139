// The application object of ziron7-cli: the operator's run sequence of the
// dialogs (CFlasherApp) with the port, the image and the purpose taken from
// the command line, or the search alone over several ports (find). It keeps
// how the run ended and maps it onto the exit code.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "ExitCodes.h"
#include "FlasherApp.h"

class ConsoleReport;
class SessionLog;

class CCliApp final : public CFlasherApp {
public:
    // `report` (not owned) shows the run; `results` (not owned) takes what a
    // script reads: find's lines, or the JSON object.
    CCliApp(CliCommand command, ConsoleReport& report, std::FILE* results);

    BOOL InitInstance() override;
    int ExitCode() const { return m_exitCode; }

protected:
    bool LoadImage(CFirmwareImage& image) override;
    int RunModal(CDialog& dialog) override;

private:
    void RunUpdate();
    void RunFind();
    // Searches COM`port` and reads the firmware's identity when asked; true
    // when a Зирон-7 answered.
    bool FindOn(int port, CFirmwareImage& image);
    std::string Decision() const;
    std::string OutcomeText() const;
    // The pace the update had: "default", "fast", or "fast, then default"
    // once the line called for the default pace.
    std::string PaceText() const;
    void WriteJson(const SessionLog& log, std::chrono::steady_clock::duration wallTime) const;

    CliCommand m_command;
    ConsoleReport& m_report;
    std::FILE* m_results;
    std::vector<std::uint8_t> m_imageBytes;  // the image file; the image refers to it
    RunEnd m_end;
    std::uint8_t m_purpose = 0;  // PURPOSE_ of the update dialog
    bool m_sameDate = false;     // the update found the image's own build
    bool m_fastToTheEnd = false;  // the update kept the fast pace it was given
    std::string m_result;        // the update's outcome text, if it reached one
    std::string m_imageError;    // why the image file was not taken
    int m_exitCode = kExitSuccess;
};
