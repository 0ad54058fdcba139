// A session listener that keeps what the dialogs reported they decided:
// every instrument found, every firmware read, every decision and
// conclusion, in order. Install it with a SessionEventsScope around the run.
#pragma once

#include <string>
#include <vector>

#include "SessionEvents.h"

namespace testsupport {

// HeldFirmware with its texts kept past the report.
struct FirmwareHeard {
    std::string buildDate;
    std::string buildTime;
    bool identityRead = false;
    std::uint16_t deviceType = 0;
    std::uint16_t version = 0;
    std::uint32_t reprogrammings = 0;
};

class DecisionsHeard final : public SessionEvents {
public:
    std::vector<FoundInstrument> found;
    std::vector<FirmwareHeard> firmware;
    std::vector<UpdateDecision> decisions;
    std::vector<UpdateConclusion> conclusions;

    void OnInstrumentFound(const FoundInstrument& instrument) override {
        found.push_back(instrument);
    }
    void OnFirmwareRead(const HeldFirmware& held) override {
        firmware.push_back({std::string(held.buildDate), std::string(held.buildTime),
                            held.identityRead, held.deviceType, held.version,
                            held.reprogrammings});
    }
    void OnUpdateDecided(UpdateDecision decision) override { decisions.push_back(decision); }
    void OnUpdateConcluded(UpdateConclusion conclusion) override {
        conclusions.push_back(conclusion);
    }
};

}  // namespace testsupport
