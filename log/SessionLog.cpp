#include "SessionLog.h"

#include <cstdio>
#include <ctime>

#include "AccessCode.h"
#include "MonotonicClock.h"

namespace {

constexpr std::int64_t kMsPerSecond = 1000;
// Names tried, a millisecond apart, when runs started together took the
// first ones.
constexpr int kLogNameAttempts = 1000;

// The start of the run in local time: for the file name and for the header.
struct StartTime {
    std::string stamp;  // "20261208-230325-123"
    std::string text;   // "2026-12-08 23:03:25.123"
};

StartTime LocalStartTime(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        kMsPerSecond);
    // Several runs may start their logs at once, each on its own thread.
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    char stamp[48];
    char text[48];
    std::strftime(date, sizeof date, "%Y%m%d-%H%M%S", &local);
    std::snprintf(stamp, sizeof stamp, "%s-%03d", date, ms);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text, sizeof text, "%s.%03d", date, ms);
    return {stamp, text};
}

// A line break inside a message box is written as "\n": one event, one line.
std::string OneLine(std::string_view text) {
    while (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            line += "\\n";
        } else {
            line += c;
        }
    }
    return line;
}

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

}  // namespace

SessionLog::SessionLog(std::filesystem::path folder, ProgramStamp program, const RunFacts& facts)
    : m_folder(std::move(folder)),
      m_program(std::move(program)),
      m_start(MonotonicNow()),
      m_startWall(std::chrono::system_clock::now()),
      m_facts(facts),
      m_wire(kAccessCode) {
    const StartTime start = LocalStartTime(m_startWall);
    m_startStamp = start.stamp;
    m_startText = start.text;
    m_pending =
        "Зирон-7 firmware updater: session log\n"
        "program: version " +
        m_program.version + ", built " + m_program.buildStamp + "\nstarted: " + m_startText +
        " (local time)\n\n";
}

SessionLog::~SessionLog() {
    Finish();
}

std::int64_t SessionLog::ElapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(MonotonicNow() - m_start).count();
}

void SessionLog::Note(std::string_view text) {
    if (m_finished) {
        return;
    }
    const std::string line = TimeStamp(ElapsedMs()) + std::string(text) + '\n';
    if (m_fileStarted) {
        m_file.Append(line);
    } else {
        m_pending += line;
    }
}

void SessionLog::StartFile() {
    if (!m_folder.empty()) {
        // Room for this run's log among the newest kept.
        RemoveOldestSessionLogs(m_folder, kKeptSessionLogs - 1);
        for (int attempt = 1; attempt <= kLogNameAttempts; ++attempt) {
            const std::filesystem::path file = m_folder / SessionLogName(m_startStamp, std::nullopt);
            if (m_file.Create(file)) {
                m_file.Append(m_pending);
                break;
            }
            std::error_code error;
            if (!std::filesystem::exists(file, error)) {
                break;  // the folder cannot be written
            }
            // Another run started in the same millisecond: this one takes the
            // next free name, and its header keeps the true start.
            m_startStamp =
                LocalStartTime(m_startWall + std::chrono::milliseconds(attempt)).stamp;
        }
    }
    // Without a file the lines go nowhere from now on.
    m_pending.clear();
    m_fileStarted = true;
}

void SessionLog::OnPortOpened(std::string_view portName) {
    if (m_finished) {
        return;
    }
    if (!m_fileStarted) {
        StartFile();
    }
    m_portName = portName;
    Note("port opened: " + m_portName +
         (m_portDevice.empty() ? std::string() : ", device " + m_portDevice));
}

void SessionLog::OnEmbeddedImage(std::string_view sha256Hex) {
    Note("image: the program's own, SHA-256 " + std::string(sha256Hex));
}

void SessionLog::SetPortDevice(std::string device) {
    m_portDevice = std::move(device);
}

void SessionLog::OnImageFile(std::string_view path, std::string_view sha256Hex) {
    Note("image file: " + std::string(path) + ", SHA-256 " + std::string(sha256Hex));
}

void SessionLog::OnLineConfigured(std::uint32_t baudRate) {
    // The search steps through the rates many times a second; only the
    // update's switches between the instrument's programs tell a story.
    if (m_facts.UpdateStarted()) {
        Note("line set to " + Number(baudRate) + " baud");
    }
}

void SessionLog::OnFrameSent(std::span<const std::uint8_t> frame) {
    m_wire.Record(ElapsedMs(), WireDirection::Sent, frame);
}

void SessionLog::OnFrameReceived(std::span<const std::uint8_t> frame) {
    m_wire.Record(ElapsedMs(), WireDirection::Received, frame);
}

void SessionLog::OnChecksumFailed(std::span<const std::uint8_t> bytes) {
    m_wire.Record(ElapsedMs(), WireDirection::FailedChecksum, bytes);
}

void SessionLog::OnInstrumentFound(const FoundInstrument& found) {
    if (m_namedSerial != found.serialNumber) {
        m_namedSerial = found.serialNumber;
        m_file.Rename(SessionLogName(m_startStamp, m_namedSerial));
    }
    Note("instrument found: type " + Number(found.deviceType) + ", serial number " +
         Number(found.serialNumber) + ", made " + Number(found.month) + "/" + Number(found.year) +
         ", answering at " + Number(found.baudRate) + " baud on " + m_portName);
}

void SessionLog::OnFirmwareRead(const HeldFirmware& firmware) {
    if (!firmware.identityRead) {
        return;  // the section says the firmware was not read
    }
    Note("firmware in the instrument: version " + Number(firmware.version) + " built " +
         std::string(firmware.buildDate) + " " + std::string(firmware.buildTime) + ", type " +
         Number(firmware.deviceType) + ", reprogrammings " + Number(firmware.reprogrammings));
}

void SessionLog::OnLogLine(std::string_view text) {
    if (!m_updateStartMs) {
        m_updateStartMs = ElapsedMs();
    }
    Note("log: " + OneLine(text));
}

void SessionLog::OnMessageBox(std::string_view text) {
    m_lastMessageBox = OneLine(text);
    Note("box: " + m_lastMessageBox);
}

void SessionLog::OnLineConclusion(std::string_view code, std::string_view text) {
    Note("line: " + std::string(code) + ": " + OneLine(text));
}

void SessionLog::OnUpdateEnded(int result, bool completed) {
    m_updateResult = result;
    m_updateCompleted = completed;
    m_updateEndMs = ElapsedMs();
    Note("update dialog ended with code " + std::to_string(result));
}

std::string SessionLog::IdentitySection() const {
    const RunFacts::Identity& id = m_facts.InstrumentIdentity();
    std::string text = "== instrument ==\nport: " + m_portName + "\n";
    if (!m_portDevice.empty()) {
        text += "device: " + m_portDevice + "\n";
    }
    if (!id.serialNumber) {
        return text + "not found\n";
    }
    text += "rate found: " + Number(id.rateFound) + " baud\n";
    text +=
        "device type: " + (id.firmwareType ? Number(*id.firmwareType) : Number(id.identifiedType)) +
        "\n";
    text += "serial number: " + Number(*id.serialNumber) + "\n";
    text += "date of manufacture: " + Number(id.month) + "/" + Number(id.year) + "\n";
    if (!id.firmwareType) {
        return text + "firmware: not read\n";
    }
    text += "firmware version: " + Number(id.firmwareVersion) + "\n";
    text += "firmware build time: " + id.firmwareDate + " " + id.firmwareTime + "\n";
    text += "reprogrammings: " + Number(id.reprogrammings) + "\n";
    return text;
}

std::string SessionLog::OutcomeSection() const {
    const RunFacts::Counts& counts = m_facts.RunCounts();
    std::string outcome;
    if (!m_updateResult) {
        outcome = "no update: the port dialog ended without OK";
    } else if (!m_updateCompleted) {
        outcome = "not completed (end code " + std::to_string(*m_updateResult) +
                  "): the update must be repeated";
    } else if (counts.verificationPasses > 0) {
        outcome = "completed: the firmware passed verification";
    } else if (counts.verificationFailures > 0) {
        outcome = "completed: verification failed " + Number(counts.verificationFailures) + " times";
    } else {
        outcome = "completed without writing";
    }
    std::string text = "== outcome ==\noutcome: " + outcome + "\n";
    if (!m_lastMessageBox.empty()) {
        text += "last message: " + m_lastMessageBox + "\n";
    }
    text += "wall time: " + std::to_string(ElapsedMs()) + " ms\n";
    if (m_updateResult) {
        text += "update time: " + std::to_string(*m_updateEndMs - m_updateStartMs.value_or(0)) + " ms\n";
    }
    return text;
}

std::string SessionLog::CountsSection() const {
    const RunFacts::Counts& counts = m_facts.RunCounts();
    return "== counts ==\nrepeated requests: " + Number(counts.repeatedRequests) +
           "\nfailed checksums: " + Number(counts.updateChecksumFailures) + " during the update, " +
           Number(counts.searchChecksumFailures) + " during the search" +
           "\nverification failures: " + Number(counts.verificationFailures) +
           "\nverification passes: " + Number(counts.verificationPasses) + "\n";
}

void SessionLog::Finish() {
    if (m_finished) {
        return;
    }
    Note("end of the run");
    m_finished = true;
    m_file.Append("\n" + IdentitySection() + "\n" + OutcomeSection() + "\n" + CountsSection() +
                  "\n== last " + Number(m_wire.Size()) + " frames on the wire ==\n" +
                  m_wire.Render());
}
