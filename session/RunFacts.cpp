#include "RunFacts.h"

void RunFacts::OnChecksumFailed(std::span<const std::uint8_t>) {
    ++(m_updateStarted ? m_counts.updateChecksumFailures : m_counts.searchChecksumFailures);
}

void RunFacts::OnLogLine(std::string_view) {
    m_updateStarted = true;
}

void RunFacts::OnInstrumentFound(const FoundInstrument& found) {
    m_identity.serialNumber = found.serialNumber;
    m_identity.year = found.year;
    m_identity.month = found.month;
    m_identity.identifiedType = found.deviceType;
    m_identity.rateFound = found.baudRate;
}

void RunFacts::OnFirmwareRead(const HeldFirmware& firmware) {
    m_identity.firmwareDate = firmware.buildDate;
    m_identity.firmwareTime = firmware.buildTime;
    if (!firmware.identityRead) {
        return;  // the fields stay as "not read"
    }
    m_identity.firmwareType = firmware.deviceType;
    m_identity.firmwareVersion = firmware.version;
    m_identity.reprogrammings = firmware.reprogrammings;
}

void RunFacts::OnUpdateDecided(UpdateDecision decision) {
    m_decision = decision;
}

void RunFacts::OnUpdateConcluded(UpdateConclusion conclusion) {
    m_conclusion = conclusion;
}

void RunFacts::OnRequestRepeated() {
    ++m_counts.repeatedRequests;
}

void RunFacts::OnVerification(bool passed) {
    ++(passed ? m_counts.verificationPasses : m_counts.verificationFailures);
}
