#include "CliApp.h"

#include <filesystem>

#include "AccessCode.h"
#include "CliLanguage.h"
#include "CommandSet.h"
#include "ConsoleReport.h"
#include "DeviceInfo.h"
#include "DialogResults.h"
#include "FirmwareImage.h"
#include "IdentityJson.h"
#include "ImageFile.h"
#include "LineConclusion.h"
#include "LogFiles.h"
#include "MonotonicClock.h"
#include "PortDlg.h"
#include "PortOpenFailure.h"
#include "PortOpenOutcome.h"
#include "ResultSchema.h"
#include "SerialCWnd.h"
#include "SerialPorts.h"
#include "SessionEvents.h"
#include "SessionLog.h"
#include "UpdateDlg.h"
#include "UserFolders.h"

namespace {

using Clock = std::chrono::steady_clock;

// A path as UTF-8, whatever the system's own encoding of names.
std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

// The port as the user named it, with its COMn when named by its device.
std::string PortLabel(const PortArgument& port) {
    if (port.device.empty()) {
        return PortName(port.number);
    }
    return port.number == 0 ? port.device : port.device + " (" + PortName(port.number) + ")";
}

// The device behind the port for the session log, with the name the user
// gave it when that was another (a stable link).
std::string DeviceText(const PortArgument& port) {
    const std::string device = DeviceOfSerialPort(port.number);
    if (port.device.empty() || port.device == device) {
        return device;
    }
    return device + " (named " + port.device + ")";
}

std::string Words(std::string_view english, std::string_view russian) {
    return std::string(Say(english, russian));
}

std::string NotFoundText(const PortArgument& port, Outcome outcome) {
    return PortLabel(port) + Words(": no Зирон-7 found (", ": Зирон-7 не найден (") +
           std::string(OutcomeText(outcome)) + ")";
}

const char* CommandName(CliSubcommand subcommand) {
    switch (subcommand) {
        case CliSubcommand::Find:
            return "find";
        case CliSubcommand::Verify:
            return "verify";
        default:
            return "update";
    }
}

ProgramStamp ThisProgram() {
    return {ZIRON7_PROGRAM_VERSION, __DATE__ " " __TIME__};
}

std::string IdentityLine(const SessionLog::Identity& id) {
    return Words("type ", "тип ") + std::to_string(id.identifiedType) +
           Words(", serial number ", ", серийный номер ") + std::to_string(id.serialNumber.value_or(0)) +
           Words(", made ", ", выпуск ") + std::to_string(id.month) + "/" + std::to_string(id.year);
}

std::string FirmwareLine(const SessionLog::Identity& id) {
    return Words("firmware version ", "версия микропрограммы ") + std::to_string(id.firmwareVersion) +
           Words(" built ", " от ") + id.firmwareDate + " " + id.firmwareTime +
           Words(", reprogrammings ", ", число перепрошивок ") + std::to_string(id.reprogrammings);
}

// A search on an open port gave up: its session log keeps what the line
// returned, in the words that `diagnose` concludes with.
void LogLineConclusion(CPortDlg::LineHeard heard) {
    LineSummary summary;
    summary.verdict = VerdictOfSearch(heard);
    CurrentSession().OnLineConclusion(VerdictCode(summary.verdict), LineConclusionText(summary, {}));
}

}  // namespace

CCliApp::CCliApp(CliCommand command, ConsoleReport& report, std::FILE* results)
    : m_command(std::move(command)), m_report(report), m_results(results) {
    m_purpose = m_command.subcommand == CliSubcommand::Verify ? PURPOSE_VERIFY : PURPOSE_UPDATE;
    m_end.nothingToWrite = m_purpose == PURPOSE_VERIFY;
    m_nPacing = m_command.fast ? Pacing::Fast : Pacing::Default;
}

BOOL CCliApp::InitInstance() {
    if (!ResolvePorts()) {
        return FALSE;
    }
    if (m_command.subcommand == CliSubcommand::Find) {
        RunFind();
    } else {
        RunUpdate();
    }
    return FALSE;
}

bool CCliApp::ResolvePorts() {
    for (PortArgument& port : m_command.ports) {
        if (port.device.empty()) {
            continue;
        }
        if (const std::optional<int> number = SerialPortOfDevice(port.device)) {
            port.number = *number;
            continue;
        }
        m_detail = port.device + Words(": no COM port stands for this device (see ziron7-cli ports)",
                                       ": этому устройству не соответствует ни один COM-порт (см. ziron7-cli ports)");
        m_report.Problem(m_detail);
        m_command.ports = {port};
        m_end.portFailure = Outcome::PortMissing;
        WriteResult(Outcome::PortMissing, nullptr, {});
        return false;
    }
    return true;
}

void CCliApp::RunUpdate() {
    const Clock::time_point start = MonotonicNow();
    SessionLog log(SessionLogFolder(UserDataFolder()), ThisProgram());
    log.SetPortDevice(DeviceText(m_command.ports.front()));
    {
        const SessionEventsScope listening(log);
        CFlasherApp::InitInstance();
    }
    log.Finish();
    TakeWhatTheRunDecided(log);
    m_end.interrupted = m_report.Interrupted();
    m_end.interruptExitCode = m_report.InterruptExitCode();
    WriteResult(OutcomeOf(m_end), &log, MonotonicNow() - start);
}

void CCliApp::TakeWhatTheRunDecided(const SessionLog& log) {
    m_end.decision = log.Decision();
    m_end.conclusion = log.Conclusion();
    m_end.success = log.RunCounts().verificationPasses > 0;
    m_end.nothingToWrite = m_purpose == PURPOSE_VERIFY ||
                           m_end.decision == UpdateDecision::VerifySameDate;
}

std::span<const std::uint8_t> CCliApp::ImageBytes() const {
    return m_command.imageFile ? std::span<const std::uint8_t>(m_imageBytes) : EmbeddedFirmwareBytes();
}

bool CCliApp::LoadImage(CFirmwareImage& image) {
    if (!m_command.imageFile) {
        m_imageReady = CFlasherApp::LoadImage(image);
        return m_imageReady;
    }
    ImageFile file = ReadImageFile(*m_command.imageFile);
    if (!file.error.empty()) {
        // Nothing has been opened or sent: the instrument is untouched.
        m_detail = Words("image file ", "файл образа ") + *m_command.imageFile + ": " + file.error;
        m_report.Problem(m_detail);
        m_end.imageLoaded = false;
        return false;
    }
    CurrentSession().OnImageFile(*m_command.imageFile, file.sha256Hex);
    m_imageBytes = std::move(file.bytes);
    m_end.imageLoaded = image.LoadFromBytes(m_imageBytes);
    m_imageReady = m_end.imageLoaded;
    return m_end.imageLoaded;
}

int CCliApp::RunModal(CDialog& dialog) {
    auto* search = dynamic_cast<CPortDlg*>(&dialog);
    auto* update = dynamic_cast<CUpdateDlg*>(&dialog);
    if (search != nullptr) {
        search->m_nInitialPort = m_command.ports.front().number - 1;
        search->m_bUnattended = true;
    }
    if (update != nullptr) {
        update->m_nPurpose = m_purpose;
    }
    const int result = dialog.DoModal();
    m_report.OnDialogEnded();
    if (search != nullptr) {
        m_end.found = result == IDOK;
        m_end.heard = search->Heard();
        if (!m_end.found && !m_report.Interrupted()) {
            const Outcome outcome = NotFound(m_end.heard);
            if (const std::optional<LONG> error = m_report.PortOpenError()) {
                m_end.portFailure = outcome;
                m_detail = DescribePortOpenFailure(PortName(m_command.ports.front().number), *error);
            } else {
                m_detail = NotFoundText(m_command.ports.front(), outcome);
                m_report.Problem(m_detail);
                LogLineConclusion(m_end.heard);
            }
        }
    }
    if (update != nullptr) {
        // Where the dialog left the instrument; what it decided comes with
        // the session's reports (TakeWhatTheRunDecided).
        m_end.phase = update->m_nPhase;
        m_end.foundInLoader = update->m_bFoundInLoader;
        m_fastToTheEnd = update->m_pacer.IsFast();
    }
    return result;
}

Outcome CCliApp::NotFound(CPortDlg::LineHeard heard) const {
    if (const std::optional<LONG> error = m_report.PortOpenError()) {
        return PortOpenOutcome(*error);
    }
    return SearchOutcome(heard);
}

void CCliApp::RunFind() {
    std::vector<PortArgument> ports = m_command.ports;
    if (ports.empty()) {
        for (const SerialPortEntry& entry : ListSerialPorts()) {
            ports.push_back({entry.number, {}});
        }
    }
    // Never released, as in the operator's program: the image refers to the
    // module's bytes.
    auto* const image = new CFirmwareImage(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!CFlasherApp::LoadImage(*image)) {
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
    SessionLog log(SessionLogFolder(UserDataFolder()), ThisProgram());
    log.SetPortDevice(DeviceText(port));
    const SessionEventsScope listening(log);
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
        identityRead = identify.DoModal() == IDOK && log.Decision() == UpdateDecision::IdentifyOnly;
        m_report.OnDialogEnded();
    }
    const SessionLog::Identity& id = log.InstrumentIdentity();
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

std::string CCliApp::PaceText() const {
    if (m_nPacing != Pacing::Fast) {
        return "default";
    }
    return m_fastToTheEnd ? "fast" : "fast, then default";
}

void CCliApp::WriteResult(Outcome outcome, const SessionLog* log, Clock::duration wallTime) {
    m_exitCode = ExitCodeOf(outcome, m_end.interruptExitCode);
    const bool succeeded = m_exitCode == kExitSuccess;
    const PortArgument& port = m_command.ports.front();
    if (!succeeded && m_end.imageLoaded) {
        m_report.Problem(Words("instrument: ", "прибор: ") + InstrumentStateText(m_end));
    }
    if (log != nullptr) {
        m_report.Note(Words("exit code ", "код выхода ") + std::to_string(m_exitCode) +
                      (log->FilePath().empty()
                           ? std::string()
                           : Words(", session log ", ", журнал сеанса ") + PathText(log->FilePath())));
    }
    if (!m_command.json) {
        const std::string line =
            PortLabel(port) + ": " + std::string(OutcomeCode(outcome)) + ": " + std::string(OutcomeText(outcome));
        std::fprintf(m_results, "%s\n", line.c_str());
        std::fflush(m_results);
        return;
    }
    JsonObject result = ResultHead(CommandName(m_command.subcommand), outcome);
    result.Text("port", PortName(port.number));
    if (port.device.empty()) {
        result.Null("device");
    } else {
        result.Text("device", port.device);
    }
    if (m_detail.empty()) {
        result.Null("detail");
    } else {
        result.Text("detail", m_detail);
    }
    result.Number("exit_code", static_cast<std::uint64_t>(m_exitCode));
    if (m_imageReady) {
        result.Object("image", ImageJson(ImageBytes(), m_command.imageFile ? "file" : "embedded"));
    } else {
        result.Null("image");
    }
    result.Text("decision", DecisionCode(m_end));
    if (!succeeded && m_end.imageLoaded) {
        result.Text("instrument", InstrumentStateText(m_end));
    }
    if (log != nullptr) {
        const SessionLog::Identity& id = log->InstrumentIdentity();
        const SessionLog::Counts& counts = log->RunCounts();
        JsonObject figures;
        figures.Number("repeated_requests", counts.repeatedRequests);
        figures.Number("failed_checksums", counts.updateChecksumFailures + counts.searchChecksumFailures);
        figures.Number("verification_passes", counts.verificationPasses);
        figures.Number("verification_failures", counts.verificationFailures);
        result.Number("rate", id.rateFound);
        result.Object("identity", InstrumentJson(id));
        if (m_imageReady) {
            result.Object("firmware", FirmwareChangeJson(id, ImageBytes(), m_end));
        }
        result.Text("pace", PaceText());
        result.Number("wall_time_ms", static_cast<std::uint64_t>(
                                          std::chrono::duration_cast<std::chrono::milliseconds>(wallTime).count()));
        result.Object("counts", figures);
        result.Text("session_log", PathText(log->FilePath()));
    }
    WriteJson(result);
}

void CCliApp::WriteJson(const JsonObject& result) const {
    std::fprintf(m_results, "%s\n", result.Render().c_str());
    std::fflush(m_results);
}
