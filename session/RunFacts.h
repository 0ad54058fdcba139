// What a run decided, as the dialogs reported it: the instrument the search
// took, the firmware the update read from it, what the update did about it
// and how it ended, and the run's figures. The one record of these: the
// session log writes it out and the console program reports it; neither
// reads it out of the frames, and neither keeps a copy of its own.
//
// Hears the run's events beside the session log (SessionEventsFanOut, this
// record first, so that the log finds it up to date).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "SessionEvents.h"

class RunFacts final : public SessionEvents {
public:
    // What the instrument told about itself, as the dialogs took it.
    struct Identity {
        std::optional<std::uint16_t> serialNumber;  // empty until the search found it
        std::uint16_t year = 0;
        std::uint8_t month = 0;
        std::uint8_t identifiedType = 0;  // from the identify reply
        std::uint32_t rateFound = 0;      // baud
        std::string firmwareDate;         // information step 0, once the firmware was read
        std::string firmwareTime;         // information step 1
        std::optional<std::uint16_t> firmwareType;  // empty until step 2 was read whole
        std::uint16_t firmwareVersion = 0;
        std::uint32_t reprogrammings = 0;
    };
    // The run's figures.
    struct Counts {
        std::uint32_t repeatedRequests = 0;
        std::uint32_t updateChecksumFailures = 0;
        std::uint32_t searchChecksumFailures = 0;
        std::uint32_t verificationFailures = 0;
        std::uint32_t verificationPasses = 0;
    };

    const Identity& InstrumentIdentity() const { return m_identity; }
    // What the update dialog decided and how it ended; empty when it never
    // got that far.
    std::optional<UpdateDecision> Decision() const { return m_decision; }
    std::optional<UpdateConclusion> Conclusion() const { return m_conclusion; }
    const Counts& RunCounts() const { return m_counts; }
    // The update dialog has shown its first line: the search is over.
    bool UpdateStarted() const { return m_updateStarted; }

    void OnChecksumFailed(std::span<const std::uint8_t> bytes) override;
    void OnLogLine(std::string_view text) override;
    void OnInstrumentFound(const FoundInstrument& found) override;
    void OnFirmwareRead(const HeldFirmware& firmware) override;
    void OnUpdateDecided(UpdateDecision decision) override;
    void OnUpdateConcluded(UpdateConclusion conclusion) override;
    void OnRequestRepeated() override;
    void OnVerification(bool passed) override;

private:
    Identity m_identity;
    std::optional<UpdateDecision> m_decision;
    std::optional<UpdateConclusion> m_conclusion;
    Counts m_counts;
    bool m_updateStarted = false;
};
