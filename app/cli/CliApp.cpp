#include "CliApp.h"

#include <algorithm>

#include "AccessCode.h"
#include "BadUsage.h"
#include "CliLanguage.h"
#include "CliSession.h"
#include "CommandSet.h"
#include "ConsoleOperator.h"
#include "ConsoleReport.h"
#include "DeviceInfo.h"
#include "DialogResults.h"
#include "DialogThreads.h"
#include "FirmwareImage.h"
#include "FlasherRun.h"
#include "IdentityJson.h"
#include "LogFiles.h"
#include "PortNaming.h"
#include "PortOpenOutcome.h"
#include "PortUpdate.h"
#include "ProductionLine.h"
#include "ResultSchema.h"
#include "RunFacts.h"
#include "SerialCWnd.h"
#include "SerialPorts.h"
#include "SessionEvents.h"
#include "SessionEventsFanOut.h"
#include "SessionLog.h"
#include "UpdateDlg.h"
#include "UserFolders.h"

namespace {

std::string Words(std::string_view english, std::string_view russian) {
    return std::string(Say(english, russian));
}

std::string IdentityLine(const RunFacts::Identity& id) {
    return Words("type ", "тип ") + std::to_string(id.identifiedType) +
           Words(", serial number ", ", серийный номер ") + std::to_string(id.serialNumber.value_or(0)) +
           Words(", made ", ", выпуск ") + std::to_string(id.month) + "/" + std::to_string(id.year);
}

std::string FirmwareLine(const RunFacts::Identity& id) {
    return Words("firmware version ", "версия микропрограммы ") + std::to_string(id.firmwareVersion) +
           Words(" built ", " от ") + id.firmwareDate + " " + id.firmwareTime +
           Words(", reprogrammings ", ", число перепрошивок ") + std::to_string(id.reprogrammings);
}

// Maps a port named by its device onto its COMn; number 0 when none
// stands for it.
void Resolve(PortArgument& port) {
    if (!port.device.empty()) {
        port.number = SerialPortOfDevice(port.device).value_or(0);
    }
}

}  // namespace

struct CCliApp::Line {
    DialogThreads threads;
    std::vector<std::unique_ptr<ConsoleReport>> reports;
};

CCliApp::CCliApp(CliCommand command, ConsoleReport& report, std::FILE* results)
    : m_command(std::move(command)), m_report(report), m_results(results) {}

CCliApp::~CCliApp() = default;

BOOL CCliApp::InitInstance() {
    if (m_command.subcommand == CliSubcommand::Find) {
        RunFind();
    } else if (m_command.all || m_command.ports.size() > 1) {
        RunLine(m_command.ports);
    } else {
        RunUpdate(m_command.ports.front());
    }
    return FALSE;
}

void CCliApp::Interrupt(int exitCode) {
    if (m_line == nullptr) {
        m_report.Interrupt(exitCode);
        return;
    }
    // Each port's report belongs to its own thread's dialogs.
    for (std::size_t i = 0; i < m_line->reports.size(); ++i) {
        m_line->threads.Post(i, [report = m_line->reports[i].get(), exitCode] { report->Interrupt(exitCode); });
    }
}

void CCliApp::RunUpdate(const PortArgument& named) {
    PortArgument port = named;
    Resolve(port);
    RunAndSayResult(port);
}

void CCliApp::RunAndSayResult(const PortArgument& port) {
    PortUpdate run(m_command, port, m_report);
    run.Run();
    m_exitCode = run.ExitCode();
    if (m_command.json) {
        WriteJson(run.ResultJson());
    } else {
        std::fprintf(m_results, "%s\n", run.ResultLine().c_str());
        std::fflush(m_results);
    }
}

void CCliApp::RunLine(std::vector<PortArgument> ports) {
    if (m_command.all) {
        for (const SerialPortEntry& entry : ListSerialPorts()) {
            ports.push_back({entry.number, {}});
        }
        if (ports.empty()) {
            m_report.Problem(Words("no serial port present", "последовательных портов нет"));
        }
    }
    for (PortArgument& port : ports) {
        Resolve(port);
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (ports[i].number != 0 && ports[i].number == ports[j].number) {
                const std::string reason = PortLabel(ports[j]) + Words(" and ", " и ") + PortLabel(ports[i]) +
                                           Words(" are one port", " - один и тот же порт");
                m_report.Problem("ziron7-cli: " + reason);
                if (m_command.json) {
                    WriteJson(BadUsageJson(m_command.subcommand, reason));
                }
                m_exitCode = kExitBadUsage;
                return;
            }
        }
    }
    std::vector<std::unique_ptr<PortUpdate>> runs;
    m_line = std::make_unique<Line>();
    for (const PortArgument& port : ports) {
        m_line->reports.push_back(
            std::make_unique<ConsoleReport>(stderr, m_command.yes, m_command.verbosity, PortLabel(port) + ": "));
        runs.push_back(std::make_unique<PortUpdate>(m_command, port, *m_line->reports.back()));
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        m_line->threads.Start([report = m_line->reports[i].get(), run = runs[i].get()] {
            InstallConsoleOperator(report);
            run->Run();
            InstallConsoleOperator(nullptr);
        });
    }
    m_line->threads.Wait();
    m_line.reset();

    std::vector<InstrumentRow> rows;
    for (const std::unique_ptr<PortUpdate>& run : runs) {
        rows.push_back(run->Row());
    }
    m_exitCode = ProductionLineExitCode(rows, m_command.all);
    const std::string table = ProductionLineTable(rows);
    if (m_command.json) {
        // One object per port, a line each, in the order of the ports.
        for (const std::unique_ptr<PortUpdate>& run : runs) {
            WriteJson(run->ResultJson());
        }
        // The person at the line still sees the table.
        if (m_command.verbosity != Verbosity::Quiet) {
            std::fputs(table.c_str(), stderr);
        }
    } else {
        std::fputs(table.c_str(), m_results);
        std::fflush(m_results);
    }
    m_report.Note(Words("exit code ", "код выхода ") + std::to_string(m_exitCode));
}

void CCliApp::RunFind() {
    std::vector<PortArgument> ports = m_command.ports;
    for (PortArgument& port : ports) {
        Resolve(port);
        if (port.number == 0) {
            // Said as an update of that port says it.
            RunAndSayResult(port);
            return;
        }
    }
    if (ports.empty()) {
        for (const SerialPortEntry& entry : ListSerialPorts()) {
            ports.push_back({entry.number, {}});
        }
    }
    // Never released, as in the operator's program: the image refers to the
    // module's bytes.
    auto* const image = new CFirmwareImage(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!LoadEmbeddedImage(*image)) {
        m_exitCode = kExitBadUsage;
        return;
    }
    std::vector<JsonObject> results;
    std::optional<Outcome> overall;
    for (const PortArgument& port : ports) {
        if (m_report.Interrupted()) {
            break;
        }
        Outcome outcome = Outcome::NoInstrument;
        results.push_back(FindOn(port, *image, outcome));
        if (!overall || outcome == Outcome::Found) {
            overall = outcome;
        } else if (*overall != Outcome::Found && *overall != outcome) {
            overall = Outcome::NoInstrument;  // ports that failed each its own way
        }
    }
    if (m_report.Interrupted()) {
        overall = Outcome::Interrupted;
    }
    const Outcome outcome = overall.value_or(Outcome::NoInstrument);
    m_exitCode = ExitCodeOf(outcome, m_report.InterruptExitCode());
    if (m_command.json) {
        JsonObject result = ResultHead(CommandName(m_command.subcommand), outcome);
        result.Number("exit_code", static_cast<std::uint64_t>(m_exitCode));
        result.Objects("ports", results);
        WriteJson(result);
    }
}

JsonObject CCliApp::FindOn(const PortArgument& port, CFirmwareImage& image, Outcome& outcome) {
    // Each port searched is a run of its own, with its own session log.
    RunFacts facts;
    SessionLog log(SessionLogFolder(UserDataFolder()), ThisProgram(), facts);
    log.SetPortDevice(DeviceText(port));
    SessionEventsFanOut run{&facts, &log};
    const SessionEventsScope listening(run);
    CSerialCWnd serial;
    DeviceInfo deviceInfo;
    CPortDlg search;
    HandOver(search, serial, deviceInfo, image);
    search.m_nInitialPort = port.number - 1;
    search.m_bUnattended = true;
    const bool found = search.DoModal() == IDOK;
    m_report.OnDialogEnded();
    JsonObject entry;
    entry.Text("port", PortName(port.number));
    if (!port.device.empty()) {
        entry.Text("device", port.device);
    }
    if (!found) {
        outcome = m_report.Interrupted() ? Outcome::Interrupted : NotFound(search.Heard());
        if (!m_report.PortOpenError() && !m_report.Interrupted()) {
            m_report.Problem(NotFoundText(port, outcome));
            LogLineConclusion(search.Heard());
        }
        entry.Text("code", OutcomeCode(outcome));
        entry.Text("text", OutcomeText(outcome));
        return entry;
    }
    outcome = Outcome::Found;
    bool identityRead = false;
    if (m_command.info) {
        CUpdateDlg identify;
        HandOver(identify, serial, deviceInfo, image);
        identify.m_nPurpose = PURPOSE_IDENTIFY;
        identityRead = identify.DoModal() == IDOK && facts.Decision() == UpdateDecision::IdentifyOnly;
        m_report.OnDialogEnded();
    }
    const RunFacts::Identity& id = facts.InstrumentIdentity();
    std::string line = PortLabel(port) + " " + std::to_string(id.rateFound) + Words(" baud: ", " бод: ") +
                       IdentityLine(id);
    if (identityRead && id.firmwareType) {
        line += "; " + FirmwareLine(id);
    }
    if (!m_command.json) {
        std::fprintf(m_results, "%s\n", line.c_str());
        std::fflush(m_results);
    }
    entry.Text("code", OutcomeCode(outcome));
    entry.Text("text", OutcomeText(outcome));
    entry.Number("rate", id.rateFound);
    entry.Object("identity", InstrumentJson(id));
    entry.Text("session_log", PathText(log.FilePath()));
    return entry;
}

Outcome CCliApp::NotFound(CPortDlg::LineHeard heard) const {
    if (const std::optional<LONG> error = m_report.PortOpenError()) {
        return PortOpenOutcome(*error);
    }
    return SearchOutcome(heard);
}

void CCliApp::WriteJson(const JsonObject& result) const {
    std::fprintf(m_results, "%s\n", result.Render().c_str());
    std::fflush(m_results);
}
