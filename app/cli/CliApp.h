// The application object of ziron7-cli: the update of one port (the
// dialogs' run sequence with the port, the image and the purpose taken
// from the command line, PortUpdate.h), the update of several ports at once
// as a production line, each on a thread of its own, or the search alone
// over several ports (find). It keeps how the run ended and maps that onto
// the exit code.
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "CliCommand.h"
#include "JsonText.h"
#include "PortDlg.h"
#include "RunOutcome.h"
#include "WinApp.h"

class CFirmwareImage;
class ConsoleReport;
class DialogThreads;

class CCliApp final : public CWinApp {
public:
    // `report` (not owned) shows the run on stderr; `results` (not owned)
    // takes what a script reads: find's lines, the outcome, the production
    // line's table, or the JSON.
    CCliApp(CliCommand command, ConsoleReport& report, std::FILE* results);
    ~CCliApp() override;

    BOOL InitInstance() override;
    int ExitCode() const { return m_exitCode; }
    // Ctrl+C or a request to terminate, on the user-interface thread: ends
    // the run of every port as "Выход" does (ConsoleReport::Interrupt).
    void Interrupt(int exitCode);

private:
    // One port: the update or verification on this thread, as it always ran.
    void RunUpdate(const PortArgument& port);
    // Runs the dialogs on `port` (resolved) and says the result on stdout.
    void RunAndSayResult(const PortArgument& port);
    // Several ports, or every port present (--all), each on its own thread.
    void RunLine(std::vector<PortArgument> ports);
    void RunFind();
    // Searches `port` and reads the firmware's identity when asked; the
    // port's entry of find's JSON.
    JsonObject FindOn(const PortArgument& port, CFirmwareImage& image, Outcome& outcome);
    // The outcome of a port dialog of find that ended without the instrument.
    Outcome NotFound(CPortDlg::LineHeard heard) const;
    void WriteJson(const JsonObject& result) const;

    CliCommand m_command;
    ConsoleReport& m_report;
    std::FILE* m_results;
    // While a production line runs: its threads and each port's report, by
    // the index of its thread.
    struct Line;
    std::unique_ptr<Line> m_line;
    int m_exitCode = kExitSuccess;
};
