#include "RunOracle.h"

#include <algorithm>

#include "CommandSet.h"
#include "DialogResults.h"
#include "InstrumentProtocol.h"
#include "WriteLimit.h"

namespace simulation {
namespace {

using std::chrono::milliseconds;

// Switches back that leaving sends before it gives up: one fewer than the
// statuses it asks.
constexpr int kLeaveSwitches = 9;

// The outcome boxes by a phrase of each (their full texts are the update
// dialog's own).
struct OutcomeText {
    std::string_view phrase;
    std::string_view name;
};
constexpr OutcomeText kOutcomes[] = {
    {"прошло УСПЕШНО", "success"},
    {"НЕУСПЕШНО", "verify failed"},
    {"отличается от обновления", "differs"},
    {"Нет связи", "no link"},
    {"Невозможно войти", "cannot enter"},
    {"Невозможно выйти", "cannot leave"},
    {"остаётся в загрузчике", "stays in loader"},
    {"позже чем обновление", "refused, later"},
    {"не Зирон-7", "foreign device"},
    {"сигнатура", "bad signature"},
    {"Ошибка в EXE", "image error"},
};

// The search: five passes over six rates, three 50 ms ticks each.
constexpr milliseconds kSearchBound{5 * 6 * 3 * 50 + 1'000};
// Each phase's bound without progress (information, entering, leaving),
// and the watchdog's.
constexpr milliseconds kPhasesBound{50'500 + 191'900 + 50'500};
constexpr milliseconds kWatchdog{5'050};
// The silence after which the watchdog gives up, without the tick that notices it.
constexpr milliseconds kWatchdogSilence{5'000};
// A write and verify pass of the embedded image: pages in halves, blocks
// read back, a request each; at most five verified passes.
constexpr int kFramesPerPass = 2 * 256 + 256;
constexpr int kMostPasses = 5;
constexpr milliseconds kLeastSpacing{50};

bool HoldsImage(const InstrumentState& state, std::span<const std::uint8_t> image) {
    return state.flash.size() >= image.size() &&
           std::equal(image.begin(), image.end(), state.flash.begin());
}

bool Unchanged(const InstrumentState& before, const InstrumentState& after) {
    return before.flash == after.flash && before.record.checksum == after.record.checksum &&
           before.record.endValue == after.record.endValue &&
           before.record.reprogrammings == after.record.reprogrammings;
}

// The plan lets the update write: an instrument of the right type whose
// firmware is not later than the image, or one found in its bootloader
// (its firmware unknown) when the operator says to write. A firmware of the
// same date is verified and written only where it differs.
bool UpdateIsMeant(const RunPlan& plan) {
    const sim::SimOptions& o = plan.instrument;
    if (o.deviceType != 3) {
        return false;
    }
    return o.startInBootloader ? plan.person.writeIntoBootloader
                               : o.firmwareDate != sim::FirmwareDate::Later;
}

// The update must write: a meant update of firmware older than the image.
bool UpdateIsOwed(const RunPlan& plan) {
    return UpdateIsMeant(plan) &&
           (plan.instrument.startInBootloader || plan.instrument.firmwareDate == sim::FirmwareDate::Older);
}

// Writes held longer than the port waits for a status request at the
// bootloader's rate (its wire time rounded up and the margin): each is cut
// before its first byte leaves, so nothing reaches the bootloader once it
// runs, not even the question whether it does.
bool NothingReachesTheBootloader(const RunPlan& plan) {
    constexpr DWORD kStatusFrameLength = 5;
    const DWORD limitMs = WriteLimitMs(kStatusFrameLength, sim::kBootloaderBaud);
    const DWORD wireMs = limitMs - kWriteMarginMs;
    return static_cast<DWORD>(plan.writeLatencyMs) + wireMs >= limitMs;
}

// The way back to the main program was closed by the plan itself. A
// bootloader that signed its switch wrongly is of a version the program does
// not know; it is sent nothing more, the switch back included.
bool WayBackClosed(const RunPlan& plan) {
    const sim::SimOptions& o = plan.instrument;
    return o.neverLeave || o.badSignature || o.lostSwitchBacks >= kLeaveSwitches || o.silentAfter || o.hangupAfter ||
           plan.person.key != OperatorKey::None ||
           (o.startInBootloader && !plan.person.writeIntoBootloader) ||
           NothingReachesTheBootloader(plan);
}

// The session log names the instrument that answered, or names none.
bool LogTellsTheInstrument(const RunPlan& plan, const RunRecord& record) {
    const RunFacts::Identity& logged = record.loggedIdentity;
    return !logged.serialNumber || (*logged.serialNumber == plan.instrument.serialNumber &&
                                    logged.identifiedType == plan.instrument.deviceType);
}

// The search ended with OK at the rate the instrument answered identify at
// when the run began: its main program's, or its bootloader's when that ran.
bool FoundAtItsRate(const RunPlan& plan, const RunRecord& record) {
    const sim::SimOptions& o = plan.instrument;
    const std::uint32_t rate = o.startInBootloader ? sim::kBootloaderBaud : o.mainBaud;
    return !record.found || record.loggedIdentity.rateFound == rate;
}

// Whether nothing on the line but a Зирон-7 in its main program and our own
// bytes coming back could make a frame: no other device type, no replies
// marked as another program's, no bytes lost, flipped or made up of other
// rates' bytes (any of which may, rarely, pass a checksum), no old bytes.
bool OnlyOursOnTheLine(const sim::SimOptions& o) {
    return o.deviceType == kZiron7DeviceType && !o.replyBit7 && !o.startInBootloader &&
           o.noise == sim::NoiseMode::Drop && o.dropIn + o.dropOut + o.flipIn + o.flipOut == 0 &&
           o.staleInputBytes == 0;
}

}  // namespace

bool LogTellsTheFirmware(const RunRecord& record) {
    const RunFacts::Identity& logged = record.loggedIdentity;
    if (!logged.serialNumber || logged.firmwareDate.empty() || record.before.flash.size() < sim::kFlashSize) {
        return true;  // the information was never answered
    }
    const std::uint16_t version = static_cast<std::uint16_t>(
        record.before.flash[sim::kVersionOffset] | record.before.flash[sim::kVersionOffset + 1] << 8);
    const std::string date(record.before.flash.begin() + sim::kBuildDateOffset,
                           record.before.flash.begin() + sim::kBuildDateOffset + sim::kBuildDateLength);
    // The version comes with the last information step; a run that never
    // got it logs none.
    return (!logged.firmwareType || logged.firmwareVersion == version) && logged.firmwareDate == date;
}

std::string_view ViolationName(Violation violation) {
    constexpr std::array<std::string_view, kViolationKinds> kNames = {
        "unbounded",      "false success",   "missed success",      "untrue failure",
        "wrote unmeant",  "left in loader",  "sent after outcome",  "log disagrees",
        "gave up early",  "found at wrong rate", "foreign heard",
    };
    return kNames[static_cast<std::size_t>(violation)];
}

std::string_view OutcomeName(const RunRecord& record) {
    if (!record.found) {
        return "not found";
    }
    if (!record.outcome) {
        return "interrupted";
    }
    for (const OutcomeText& outcome : kOutcomes) {
        if (record.outcome->text.find(outcome.phrase) != std::string::npos) {
            return outcome.name;
        }
    }
    return "other box";
}

milliseconds RunBound(const RunPlan& plan) {
    // A bootloader that answers late draws a reply per repeat of each
    // request, and the next request whose reply would look alike is held
    // until those copies cannot come: twice the lateness per frame, and a
    // period's margin on each.
    // A write held before its first byte leaves delays every frame by as much.
    const milliseconds lateness{sim::ReplyDelayMs(plan.instrument, sim::ReplyKind::Loader)};
    const milliseconds perFrame =
        (lateness == milliseconds::zero() ? kLeastSpacing : 2 * (lateness + kLeastSpacing)) +
        milliseconds(plan.writeLatencyMs);
    return kSearchBound + kPhasesBound + kMostPasses * kFramesPerPass * perFrame + 2 * kWatchdog;
}

std::vector<Violation> Check(const RunPlan& plan, const RunRecord& record,
                             std::span<const std::uint8_t> image) {
    std::vector<Violation> broken;
    const auto expect = [&broken](bool holds, Violation violation) {
        if (!holds) {
            broken.push_back(violation);
        }
    };
    const bool success = OutcomeName(record) == "success";
    const bool imageRuns = HoldsImage(record.after, image) && !record.after.bootloaderRuns;

    expect(!record.stalled && !record.cutAtBound && record.ended - record.started <= RunBound(plan),
           Violation::Unbounded);
    expect(!success || imageRuns, Violation::FalseSuccess);
    expect(success || !UpdateIsOwed(plan) || !UpdateCanSucceed(plan), Violation::MissedSuccess);
    // A failure the program could have known better: the instrument was
    // written, runs its main program again, nothing cut the line, and what
    // it reads back is what it holds (stuck bits read wrong).
    expect(success || !imageRuns || Unchanged(record.before, record.after) || WayBackClosed(plan) ||
               !plan.instrument.stuck.empty(),
           Violation::UntrueFailure);
    expect(UpdateIsMeant(plan) || Unchanged(record.before, record.after),
           Violation::WroteWhenNotMeant);
    // Leaving may give up after its switches back: a line that loses or
    // garbles bytes may have taken the one switch the instrument would have
    // obeyed.
    expect(!record.after.bootloaderRuns || record.before.bootloaderRuns || WayBackClosed(plan) ||
               record.switchBacksSent >= static_cast<std::size_t>(kLeaveSwitches),
           Violation::LeftInBootloader);
    expect(record.framesAfterOutcome == 0, Violation::SentAfterOutcome);
    expect(LogTellsTheInstrument(plan, record), Violation::LogDisagrees);
    // Replies that come late but within the watchdog may cost the update,
    // but only as late as a silent line would.
    expect(success || !UpdateIsOwed(plan) || !LateWithinTheWatchdog(plan) ||
               (record.outcome && record.updateStarted &&
                record.outcome->at - *record.updateStarted >= kWatchdogSilence),
           Violation::GaveUpEarly);
    expect(FoundAtItsRate(plan, record), Violation::FoundAtWrongRate);
    expect(!record.anotherDeviceHeard || !OnlyOursOnTheLine(plan.instrument),
           Violation::ForeignHeard);
    return broken;
}

}  // namespace simulation
