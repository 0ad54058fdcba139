#include "PortUpdate.h"

#include "CliLanguage.h"
#include "CliSession.h"
#include "ConsoleReport.h"
#include "DialogResults.h"
#include "FirmwareImage.h"
#include "IdentityJson.h"
#include "ImageFile.h"
#include "LogFiles.h"
#include "MonotonicClock.h"
#include "PortNaming.h"
#include "PortOpenFailure.h"
#include "PortOpenOutcome.h"
#include "ResultSchema.h"
#include "SessionEvents.h"
#include "SessionEventsFanOut.h"
#include "SessionLog.h"
#include "UpdateDlg.h"
#include "UserFolders.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Words(std::string_view english, std::string_view russian) {
    return std::string(Say(english, russian));
}

}  // namespace

PortUpdate::PortUpdate(const CliCommand& command, PortArgument port, ConsoleReport& report)
    : m_command(command), m_port(std::move(port)), m_report(report) {
    m_purpose = m_command.subcommand == CliSubcommand::Verify ? PURPOSE_VERIFY : PURPOSE_UPDATE;
    m_end.nothingToWrite = m_purpose == PURPOSE_VERIFY;
    m_nPacing = m_command.fast ? Pacing::Fast : Pacing::Default;
}

void PortUpdate::Run() {
    if (m_port.number == 0) {
        m_detail = m_port.device + Words(": no COM port stands for this device (see ziron7-cli ports)",
                                         ": этому устройству не соответствует ни один COM-порт (см. ziron7-cli ports)");
        m_report.Problem(m_detail);
        m_end.portFailure = Outcome::PortMissing;
        Conclude(Outcome::PortMissing);
        return;
    }
    const Clock::time_point start = MonotonicNow();
    RunFacts facts;
    SessionLog log(SessionLogFolder(UserDataFolder()), ThisProgram(), facts);
    log.SetPortDevice(DeviceText(m_port));
    {
        SessionEventsFanOut run{&facts, &log};
        const SessionEventsScope listening(run);
        RunSequence();
    }
    log.Finish();
    TakeWhatTheRunDecided(facts, log.FilePath());
    m_end.interrupted = m_report.Interrupted();
    m_end.interruptExitCode = m_report.InterruptExitCode();
    m_wallTime = MonotonicNow() - start;
    Conclude(OutcomeOf(m_end));
}

void PortUpdate::TakeWhatTheRunDecided(const RunFacts& facts, std::filesystem::path logPath) {
    m_end.decision = facts.Decision();
    m_end.conclusion = facts.Conclusion();
    m_end.success = facts.RunCounts().verificationPasses > 0;
    m_end.nothingToWrite = m_purpose == PURPOSE_VERIFY ||
                           m_end.decision == UpdateDecision::VerifySameDate;
    m_decided = Decided{facts.InstrumentIdentity(), facts.RunCounts(), std::move(logPath)};
}

void PortUpdate::Conclude(Outcome outcome) {
    m_outcome = outcome;
    m_exitCode = ExitCodeOf(outcome, m_end.interruptExitCode);
    if (m_exitCode != kExitSuccess && m_end.imageLoaded) {
        m_report.Problem(Words("instrument: ", "прибор: ") + InstrumentStateText(m_end));
    }
    if (m_decided) {
        m_report.Note(Words("exit code ", "код выхода ") + std::to_string(m_exitCode) +
                      (m_decided->path.empty()
                           ? std::string()
                           : Words(", session log ", ", журнал сеанса ") + PathText(m_decided->path)));
    }
}

std::span<const std::uint8_t> PortUpdate::ImageBytes() const {
    return m_command.imageFile ? std::span<const std::uint8_t>(m_imageBytes) : EmbeddedFirmwareBytes();
}

bool PortUpdate::LoadImage(CFirmwareImage& image) {
    if (!m_command.imageFile) {
        m_imageReady = FlasherRun::LoadImage(image);
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

int PortUpdate::RunModal(CDialog& dialog) {
    auto* search = dynamic_cast<CPortDlg*>(&dialog);
    auto* update = dynamic_cast<CUpdateDlg*>(&dialog);
    if (search != nullptr) {
        search->m_nInitialPort = m_port.number - 1;
        search->m_bUnattended = true;
    }
    if (update != nullptr) {
        update->m_nPurpose = m_purpose;
    }
    const int result = dialog.DoModal();
    m_report.OnDialogEnded();
    if (search != nullptr) {
        m_portOpened = !m_report.PortOpenError().has_value();
        m_end.found = result == IDOK;
        m_end.heard = search->Heard();
        if (!m_end.found && !m_report.Interrupted()) {
            const Outcome outcome = NotFound(m_end.heard);
            if (const std::optional<LONG> error = m_report.PortOpenError()) {
                m_end.portFailure = outcome;
                m_detail = DescribePortOpenFailure(PortName(m_port.number), *error);
            } else {
                m_detail = NotFoundText(m_port, outcome);
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

Outcome PortUpdate::NotFound(CPortDlg::LineHeard heard) const {
    if (const std::optional<LONG> error = m_report.PortOpenError()) {
        return PortOpenOutcome(*error);
    }
    return SearchOutcome(heard);
}

std::string PortUpdate::PaceText() const {
    if (m_nPacing != Pacing::Fast) {
        return "default";
    }
    return m_fastToTheEnd ? "fast" : "fast, then default";
}

std::string PortUpdate::ResultLine() const {
    return PortLabel(m_port) + ": " + std::string(OutcomeCode(m_outcome)) + ": " +
           std::string(OutcomeText(m_outcome));
}

JsonObject PortUpdate::ResultJson() const {
    JsonObject result = ResultHead(CommandName(m_command.subcommand), m_outcome);
    // A device that no COMn stands for has no port to name.
    if (m_port.number == 0) {
        result.Null("port");
    } else {
        result.Text("port", PortName(m_port.number));
    }
    if (m_port.device.empty()) {
        result.Null("device");
    } else {
        result.Text("device", m_port.device);
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
    if (m_exitCode != kExitSuccess && m_end.imageLoaded) {
        result.Text("instrument", InstrumentStateText(m_end));
    }
    // What the line told, only when the run met it: a bad image file or a
    // port that did not open gives no rate, instrument or figures to trust.
    if (m_decided && m_portOpened) {
        const RunFacts::Counts& counts = m_decided->counts;
        JsonObject figures;
        figures.Number("repeated_requests", counts.repeatedRequests);
        figures.Number("failed_checksums", counts.updateChecksumFailures + counts.searchChecksumFailures);
        figures.Number("verification_passes", counts.verificationPasses);
        figures.Number("verification_failures", counts.verificationFailures);
        result.Number("rate", m_decided->identity.rateFound);
        result.Object("identity", InstrumentJson(m_decided->identity));
        if (m_imageReady) {
            result.Object("firmware", FirmwareChangeJson(m_decided->identity, ImageBytes(), m_end));
        }
        result.Text("pace", PaceText());
        result.Number("wall_time_ms", static_cast<std::uint64_t>(
                                          std::chrono::duration_cast<std::chrono::milliseconds>(m_wallTime).count()));
        result.Object("counts", figures);
        // A log folder that cannot be written leaves the run without its log.
        if (m_decided->path.empty()) {
            result.Null("session_log");
        } else {
            result.Text("session_log", PathText(m_decided->path));
        }
    }
    return result;
}

InstrumentRow PortUpdate::Row() const {
    InstrumentRow row;
    row.port = PortLabel(m_port);
    if (m_decided) {
        row.serialNumber = m_decided->identity.serialNumber;
        if (m_imageReady) {
            row.firmware = FirmwareChangeOf(m_decided->identity, ImageBytes(), m_end);
        }
    }
    row.outcome = m_outcome;
    row.exitCode = m_exitCode;
    row.wallTime = std::chrono::duration_cast<std::chrono::milliseconds>(m_wallTime);
    return row;
}
