#include "CliApp.h"

#include <filesystem>

#include "AccessCode.h"
#include "CommandSet.h"
#include "ConsoleReport.h"
#include "DeviceInfo.h"
#include "DialogResults.h"
#include "FirmwareImage.h"
#include "ImageFile.h"
#include "JsonText.h"
#include "LogFiles.h"
#include "MonotonicClock.h"
#include "PortDlg.h"
#include "SerialCWnd.h"
#include "SerialPorts.h"
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

// Why the search found no Зирон-7, as the port dialog heard the line.
std::string NotFoundText(int port, CPortDlg::LineHeard heard) {
    const char* why = "nothing answered";
    switch (heard) {
        case CPortDlg::LineHeard::AnotherDevice:
            why = "a device of another type answered";
            break;
        case CPortDlg::LineHeard::OwnBytes:
            why = "only our own bytes came back";
            break;
        case CPortDlg::LineHeard::Nothing:
            break;
    }
    return PortName(port) + ": no Зирон-7 found (" + why + ")";
}

ProgramStamp ThisProgram() {
    return {ZIRON7_PROGRAM_VERSION, __DATE__ " " __TIME__};
}

std::string IdentityLine(const SessionLog::Identity& id) {
    return "type " + std::to_string(id.identifiedType) + ", serial number " +
           std::to_string(id.serialNumber.value_or(0)) + ", made " + std::to_string(id.month) +
           "/" + std::to_string(id.year);
}

std::string FirmwareLine(const SessionLog::Identity& id) {
    return "firmware version " + std::to_string(id.firmwareVersion) + " built " +
           id.firmwareDate + " " + id.firmwareTime + ", reprogrammings " +
           std::to_string(id.reprogrammings);
}

}  // namespace

CCliApp::CCliApp(CliCommand command, ConsoleReport& report, std::FILE* results)
    : m_command(std::move(command)), m_report(report), m_results(results) {
    m_purpose = m_command.subcommand == CliSubcommand::Verify ? PURPOSE_VERIFY : PURPOSE_UPDATE;
    m_nPacing = m_command.fast ? Pacing::Fast : Pacing::Default;
}

BOOL CCliApp::InitInstance() {
    if (m_command.subcommand == CliSubcommand::Find) {
        RunFind();
    } else {
        RunUpdate();
    }
    return FALSE;
}

void CCliApp::RunUpdate() {
    const Clock::time_point start = MonotonicNow();
    SessionLog log(SessionLogFolder(UserDataFolder()), ThisProgram());
    {
        const SessionEventsScope listening(log);
        CFlasherApp::InitInstance();
    }
    log.Finish();
    m_end.interrupted = m_report.Interrupted();
    m_exitCode = ExitCodeFor(m_end);
    if (m_exitCode != kExitSuccess && m_end.imageLoaded) {
        m_report.Line("instrument: " + InstrumentStateText(m_end, m_purpose == PURPOSE_VERIFY));
    }
    m_report.Line("exit code " + std::to_string(m_exitCode) +
                  (log.FilePath().empty() ? std::string()
                                          : ", session log " + PathText(log.FilePath())));
    if (m_command.json) {
        WriteJson(log, MonotonicNow() - start);
    }
}

bool CCliApp::LoadImage(CFirmwareImage& image) {
    if (!m_command.imageFile) {
        return CFlasherApp::LoadImage(image);
    }
    ImageFile file = ReadImageFile(*m_command.imageFile);
    if (!file.error.empty()) {
        // Nothing has been opened or sent: the instrument is untouched.
        m_imageError = "image file " + *m_command.imageFile + ": " + file.error;
        m_report.Line(m_imageError);
        m_end.imageLoaded = false;
        return false;
    }
    CurrentSession().OnImageFile(*m_command.imageFile, file.sha256Hex);
    m_imageBytes = std::move(file.bytes);
    m_end.imageLoaded = image.LoadFromBytes(m_imageBytes);
    return m_end.imageLoaded;
}

int CCliApp::RunModal(CDialog& dialog) {
    auto* search = dynamic_cast<CPortDlg*>(&dialog);
    auto* update = dynamic_cast<CUpdateDlg*>(&dialog);
    if (search != nullptr) {
        search->m_nInitialPort = m_command.ports.front() - 1;
        search->m_bUnattended = true;
    }
    if (update != nullptr) {
        update->m_nPurpose = m_purpose;
    }
    const int result = dialog.DoModal();
    m_report.OnDialogEnded();
    if (search != nullptr) {
        m_end.found = result == IDOK;
        if (!m_end.found && !m_report.Interrupted()) {
            m_report.Line(NotFoundText(m_command.ports.front(), search->Heard()));
        }
    }
    if (update != nullptr) {
        m_end.updateResult = result;
        m_end.phase = update->m_nPhase;
        m_end.success = update->m_bSuccess;
        m_end.foundInLoader = update->m_bFoundInLoader;
        m_sameDate = update->m_bSameDate;
        m_fastToTheEnd = update->m_pacer.IsFast();
        m_result = update->m_strResult;
    }
    return result;
}

void CCliApp::RunFind() {
    std::vector<int> ports = m_command.ports;
    if (ports.empty()) {
        for (const SerialPortEntry& entry : ListSerialPorts()) {
            ports.push_back(entry.number);
        }
    }
    // Never released, as in the operator's program: the image refers to the
    // module's bytes.
    auto* const image = new CFirmwareImage(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!CFlasherApp::LoadImage(*image)) {
        m_exitCode = kExitBadUsage;
        return;
    }
    bool found = false;
    for (const int port : ports) {
        if (m_report.Interrupted()) {
            break;
        }
        found = FindOn(port, *image) || found;
    }
    m_exitCode = m_report.Interrupted() ? kExitInterrupted : found ? kExitSuccess : kExitNotFound;
}

bool CCliApp::FindOn(int port, CFirmwareImage& image) {
    // Each port searched is a run of its own, with its own session log.
    SessionLog log(SessionLogFolder(UserDataFolder()), ThisProgram());
    const SessionEventsScope listening(log);
    CSerialCWnd serial;
    DeviceInfo deviceInfo;
    CPortDlg search;
    HandOver(search, serial, deviceInfo, image);
    search.m_nInitialPort = port - 1;
    search.m_bUnattended = true;
    const bool found = search.DoModal() == IDOK;
    m_report.OnDialogEnded();
    if (!found) {
        m_report.Line(NotFoundText(port, search.Heard()));
        return false;
    }
    bool identityRead = false;
    if (m_command.info) {
        CUpdateDlg identify;
        HandOver(identify, serial, deviceInfo, image);
        identify.m_nPurpose = PURPOSE_IDENTIFY;
        identityRead = identify.DoModal() == IDOK && identify.m_nPhase == PHASE_INFO;
        m_report.OnDialogEnded();
    }
    const SessionLog::Identity& id = log.InstrumentIdentity();
    std::string line = PortName(port) + " " + std::to_string(id.rateFound) + " baud: " + IdentityLine(id);
    if (identityRead && id.firmwareType) {
        line += "; " + FirmwareLine(id);
    }
    std::fprintf(m_results, "%s\n", line.c_str());
    std::fflush(m_results);
    return true;
}

std::string CCliApp::PaceText() const {
    if (m_nPacing != Pacing::Fast) {
        return "default";
    }
    return m_fastToTheEnd ? "fast" : "fast, then default";
}

std::string CCliApp::Decision() const {
    if (!m_end.found) {
        return "none";
    }
    if (m_purpose == PURPOSE_VERIFY) {
        return "verify";
    }
    if (m_end.phase == PHASE_INFO) {
        return m_end.updateResult == IDOK ? "refuse" : "none";
    }
    return m_sameDate ? "verify" : "write";
}

std::string CCliApp::OutcomeText() const {
    if (!m_end.imageLoaded) {
        return m_imageError.empty() ? m_report.LastBox() : m_imageError;
    }
    if (m_end.phase == PHASE_DONE && !m_result.empty()) {
        return m_result;
    }
    return m_report.LastBox();
}

void CCliApp::WriteJson(const SessionLog& log, Clock::duration wallTime) const {
    const SessionLog::Identity& id = log.InstrumentIdentity();
    const SessionLog::Counts& counts = log.RunCounts();
    JsonObject identity;
    if (id.serialNumber) {
        identity.Number("device_type", id.firmwareType.value_or(id.identifiedType));
        identity.Number("serial_number", *id.serialNumber);
        identity.Text("manufactured", std::to_string(id.month) + "/" + std::to_string(id.year));
        if (id.firmwareType) {
            identity.Number("firmware_version", id.firmwareVersion);
            identity.Text("firmware_build_time", id.firmwareDate + " " + id.firmwareTime);
            identity.Number("reprogrammings", id.reprogrammings);
        }
    }
    JsonObject figures;
    figures.Number("repeated_requests", counts.repeatedRequests);
    figures.Number("failed_checksums", counts.updateChecksumFailures + counts.searchChecksumFailures);
    figures.Number("verification_passes", counts.verificationPasses);
    figures.Number("verification_failures", counts.verificationFailures);

    JsonObject result;
    result.Text("port", PortName(m_command.ports.front()));
    result.Number("rate", id.rateFound);
    result.Object("identity", identity);
    result.Text("decision", Decision());
    result.Text("outcome", OutcomeText());
    result.Text("pace", PaceText());
    if (m_exitCode != kExitSuccess && m_end.imageLoaded) {
        result.Text("instrument", InstrumentStateText(m_end, m_purpose == PURPOSE_VERIFY));
    }
    result.Number("exit_code", static_cast<std::uint64_t>(m_exitCode));
    result.Number("wall_time_ms", static_cast<std::uint64_t>(
                                      std::chrono::duration_cast<std::chrono::milliseconds>(wallTime).count()));
    result.Object("counts", figures);
    result.Text("session_log", PathText(log.FilePath()));
    std::fprintf(m_results, "%s\n", result.Render().c_str());
    std::fflush(m_results);
}
