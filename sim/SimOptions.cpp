#include "SimOptions.h"

#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

namespace sim {
namespace {

constexpr std::array<std::uint32_t, 6> kMainProgramRates = {4800,  9600,  19200,
                                                            38400, 57600, 115200};
// A pseudo-terminal holds 4095 bytes towards its reader; half of that is
// more than any adapter keeps.
constexpr int kMostStaleInputBytes = 2'048;
constexpr int kMostStaleRequests = 8;  // a diagnosis's last rate sends three
constexpr int kMostReplyDelayMs = 60'000;

// Integers in decimal, or in hex after "0x".
bool ParseNumber(std::string_view text, long long low, long long high, long long& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return status == std::errc() && end == text.data() + text.size() && value >= low &&
           value <= high;
}

template <typename Number>
bool SetNumber(std::string_view text, long long low, long long high, Number& target) {
    long long value = 0;
    if (!ParseNumber(text, low, high, value)) {
        return false;
    }
    target = static_cast<Number>(value);
    return true;
}

bool SetProbability(std::string_view text, double& target) {
    double value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status != std::errc() || end != text.data() + text.size() || value < 0 || value > 1) {
        return false;
    }
    target = value;
    return true;
}

bool SetFrameCount(std::string_view text, std::optional<long>& target) {
    long value = 0;
    if (!SetNumber(text, 0, 1'000'000'000, value)) {
        return false;
    }
    target = value;
    return true;
}

bool SetSeed(std::string_view text, std::optional<std::uint64_t>& target) {
    std::uint64_t value = 0;
    if (!SetNumber(text, 0, 0x7FFF'FFFF'FFFF'FFFFLL, value)) {
        return false;
    }
    target = value;
    return true;
}

bool SetBaud(std::string_view text, std::uint32_t& target) {
    std::uint32_t rate = 0;
    if (!SetNumber(text, 1, 115200, rate)) {
        return false;
    }
    for (const std::uint32_t known : kMainProgramRates) {
        if (rate == known) {
            target = rate;
            return true;
        }
    }
    return false;
}

bool SetDelay(std::string_view text, std::optional<int>& target) {
    int value = 0;
    if (!SetNumber(text, 0, kMostReplyDelayMs, value)) {
        return false;
    }
    target = value;
    return true;
}

bool SetStuck(std::string_view text, std::vector<StuckBits>& target) {
    StuckBits bits;
    const std::size_t colon = text.find(':');
    if (!SetNumber(text.substr(0, colon), 0, 0xFFFF, bits.address)) {
        return false;
    }
    if (colon != std::string_view::npos && !SetNumber(text.substr(colon + 1), 1, 0xFF, bits.mask)) {
        return false;
    }
    target.push_back(bits);
    return true;
}

bool SetFirmwareDate(std::string_view text, FirmwareDate& target) {
    constexpr std::pair<std::string_view, FirmwareDate> kNames[] = {
        {"older", FirmwareDate::Older},
        {"same", FirmwareDate::Same},
        {"later", FirmwareDate::Later},
        {"unparseable", FirmwareDate::Unparseable},
    };
    for (const auto& [name, date] : kNames) {
        if (text == name) {
            target = date;
            return true;
        }
    }
    return false;
}

bool SetNoise(std::string_view text, NoiseMode& target) {
    if (text == "drop" || text == "random") {
        target = text == "drop" ? NoiseMode::Drop : NoiseMode::Random;
        return true;
    }
    return false;
}

bool SetBootEcho(std::string_view text, BootEcho& target) {
    constexpr std::pair<std::string_view, BootEcho> kNames[] = {
        {"addr", BootEcho::Address},
        {"zero", BootEcho::Zero},
        {"random", BootEcho::Random},
    };
    for (const auto& [name, echo] : kNames) {
        if (text == name) {
            target = echo;
            return true;
        }
    }
    return false;
}

bool SetText(std::string_view text, std::string& target) {
    target.assign(text);
    return !target.empty();
}

struct OptionRule {
    const char* name;
    bool takesValue;
    bool (*apply)(SimOptions& options, std::string_view value);
};

// clang-format off
constexpr OptionRule kRules[] = {
    {"com", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 1, 255, o.comNumber); }},
    {"tty", true, [](SimOptions& o, std::string_view v) { return SetText(v, o.ttyPath); }},
    {"baud", true, [](SimOptions& o, std::string_view v) { return SetBaud(v, o.mainBaud); }},
    {"noise", true, [](SimOptions& o, std::string_view v) { return SetNoise(v, o.noise); }},
    {"echo", false, [](SimOptions& o, std::string_view) { return o.echo = true; }},
    {"stale-input", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 1, kMostStaleInputBytes, o.staleInputBytes); }},
    {"stale-requests", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 1, kMostStaleRequests, o.staleRequests); }},
    {"device-type", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 255, o.deviceType); }},
    {"year", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 2000, 2255, o.year); }},
    {"month", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 255, o.month); }},
    {"serial", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 0xFFFF, o.serialNumber); }},
    {"reprogrammings", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 0xFFFFFFFFLL, o.reprogrammings); }},
    {"flash", true, [](SimOptions& o, std::string_view v) { return SetText(v, o.flashPath); }},
    {"firmware", true, [](SimOptions& o, std::string_view v) { return SetText(v, o.firmwarePath); }},
    {"firmware-date", true, [](SimOptions& o, std::string_view v) { return SetFirmwareDate(v, o.firmwareDate); }},
    {"flip-in", true, [](SimOptions& o, std::string_view v) { return SetProbability(v, o.flipIn); }},
    {"flip-out", true, [](SimOptions& o, std::string_view v) { return SetProbability(v, o.flipOut); }},
    {"drop-in", true, [](SimOptions& o, std::string_view v) { return SetProbability(v, o.dropIn); }},
    {"drop-out", true, [](SimOptions& o, std::string_view v) { return SetProbability(v, o.dropOut); }},
    {"duplicate", true, [](SimOptions& o, std::string_view v) { return SetProbability(v, o.duplicate); }},
    {"delay", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, kMostReplyDelayMs, o.replyDelayMs); }},
    {"status-delay", true, [](SimOptions& o, std::string_view v) { return SetDelay(v, o.statusDelayMs); }},
    {"info-delay", true, [](SimOptions& o, std::string_view v) { return SetDelay(v, o.infoDelayMs); }},
    {"loader-delay", true, [](SimOptions& o, std::string_view v) { return SetDelay(v, o.loaderDelayMs); }},
    {"chunk", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 1'000, o.chunkMs); }},
    {"pace", false, [](SimOptions& o, std::string_view) { return o.pace = true; }},
    {"stuck", true, [](SimOptions& o, std::string_view v) { return SetStuck(v, o.stuck); }},
    {"stuck-passes", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 1'000'000, o.stuckPasses); }},
    {"bad-signature", false, [](SimOptions& o, std::string_view) { return o.badSignature = true; }},
    {"never-enter", false, [](SimOptions& o, std::string_view) { return o.neverEnter = true; }},
    {"lose-switch-in", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 1'000, o.lostSwitchesIn); }},
    {"info-bad-checksum", false, [](SimOptions& o, std::string_view) { return o.infoBadChecksum = true; }},
    {"info-unanswered", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 2, o.unansweredInfoStep); }},
    {"boot-echo", true, [](SimOptions& o, std::string_view v) { return SetBootEcho(v, o.bootEcho); }},
    {"never-leave", false, [](SimOptions& o, std::string_view) { return o.neverLeave = true; }},
    {"lose-switch-back", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 1'000, o.lostSwitchBacks); }},
    {"boot-start", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 60'000, o.bootStartMs); }},
    {"main-start", true, [](SimOptions& o, std::string_view v) { return SetNumber(v, 0, 60'000, o.mainStartMs); }},
    {"start-in-bootloader", false, [](SimOptions& o, std::string_view) { return o.startInBootloader = true; }},
    {"reply-bit7", false, [](SimOptions& o, std::string_view) { return o.replyBit7 = true; }},
    {"silent-after", true, [](SimOptions& o, std::string_view v) { return SetFrameCount(v, o.silentAfter); }},
    {"hangup-after", true, [](SimOptions& o, std::string_view v) { return SetFrameCount(v, o.hangupAfter); }},
    {"stall-after", true, [](SimOptions& o, std::string_view v) { return SetFrameCount(v, o.stallAfter); }},
    {"seed", true, [](SimOptions& o, std::string_view v) { return SetSeed(v, o.seed); }},
    {"transcript", true, [](SimOptions& o, std::string_view v) { return SetText(v, o.transcriptPath); }},
};
// clang-format on

const OptionRule* FindRule(std::string_view name) {
    for (const OptionRule& rule : kRules) {
        if (name == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

}  // namespace

int ReplyDelayMs(const SimOptions& options, ReplyKind kind) {
    switch (kind) {
        case ReplyKind::Identify:
            return options.replyDelayMs;
        case ReplyKind::Status:
            return options.statusDelayMs.value_or(options.replyDelayMs);
        case ReplyKind::Information:
            return options.infoDelayMs.value_or(options.replyDelayMs);
        case ReplyKind::Loader:
            return options.loaderDelayMs.value_or(options.replyDelayMs);
    }
    return options.replyDelayMs;
}

ParseOutcome ParseSimOptions(int argc, const char* const* argv, SimOptions& options,
                             std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return ParseOutcome::Help;
        }
        if (argument == "--version") {
            return ParseOutcome::Version;
        }
        if (!argument.starts_with("--")) {
            error = "unexpected argument " + std::string(argument);
            return ParseOutcome::Error;
        }
        argument.remove_prefix(2);
        std::optional<std::string_view> value;
        if (const std::size_t equals = argument.find('='); equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
        }
        const OptionRule* rule = FindRule(argument);
        if (rule == nullptr) {
            error = "unknown option --" + std::string(argument);
            return ParseOutcome::Error;
        }
        if (rule->takesValue && !value) {
            if (i + 1 >= argc) {
                error = "--" + std::string(argument) + " needs a value";
                return ParseOutcome::Error;
            }
            value = argv[++i];
        }
        if (!rule->takesValue && value) {
            error = "--" + std::string(argument) + " takes no value";
            return ParseOutcome::Error;
        }
        if (!rule->apply(options, value.value_or(std::string_view()))) {
            error = "bad value for --" + std::string(argument) + ": " +
                    std::string(value.value_or(std::string_view()));
            return ParseOutcome::Error;
        }
    }
    return ParseOutcome::Run;
}

const char* SimUsage() {
    return R"(Usage: ziron7-sim [OPTION]...
Plays a Зирон-7 power source on a pseudo-terminal for the firmware updater:
its main program at the chosen rate and its bootloader at 38400 baud.
Prints "ready COMn PATH" once the line is there; ends on SIGINT or SIGTERM.

The line
  --com N               enter the line as comN in the device namespace
                        ($ZIRON7_DEVICE_DIR, default ~/.local/share/ziron7/devices);
                        default 1
  --tty PATH            serve this tty (a real serial port) instead
  --baud RATE           the main program's rate: 4800, 9600 (default), 19200,
                        38400, 57600 or 115200
  --noise drop|random   bytes sent at another rate than the running program's
                        are dropped (default) or arrive as random bytes
  --echo                every byte the updater sends comes straight back to it,
                        ahead of the instrument's answer, as a two-wire adapter
                        or a loopback plug returns it (with --silent-after 0:
                        a loopback plug and nothing else)
  --stale-input N       N bytes (1 to 2048) wait in the updater's input before
                        it opens the line, as an adapter keeps what came while
                        no one listened: the start of an old identify reply,
                        then noise from --seed (pseudo-terminals only)
  --stale-requests N    N of the updater's own identify requests (1 to 8) wait
                        there ahead of those bytes, as an echoing line returns
                        the requests of a diagnosis or an earlier search

The instrument
  --device-type N       device type in identify and information replies (default 3)
  --year Y --month M    date of manufacture (default 2011, 7)
  --serial N            serial number (default 12345)
  --reprogrammings N    number of reprogrammings of a new flash (default 0)
  --flash FILE          keep flash and the bootloader's record in FILE; a new
                        file starts from the seed firmware (default: memory only)
  --firmware FILE       seed firmware image (default: the updater's embedded one)
  --firmware-date WHEN  build date in a new flash's header, against the seed's:
                        older (default: one year older, so an update writes),
                        same (an update only verifies), later (the updater
                        refuses), unparseable (a text no parser reads)

Faults (probabilities 0..1, drawn from --seed)
  --flip-in P           flip one bit of a received byte with probability P
  --flip-out P          flip one bit of a sent byte with probability P
  --drop-in P           lose a received byte with probability P
  --drop-out P          lose a sent byte with probability P
  --duplicate P         send a reply twice, back to back, with probability P
  --delay MS            start each reply MS milliseconds after its request
  --status-delay MS     start status replies MS milliseconds after their
                        request instead (default: --delay)
  --info-delay MS       the same for information replies
  --loader-delay MS     the same for replies to loader requests: the switches
                        between the programs, the pages, the read-back
  --chunk MS            bytes for the updater leave in bursts every MS
                        milliseconds, as a USB serial adapter passes them on
                        when its latency timer expires
  --pace                bytes take their wire time at the line rate (10 bit
                        times each) in both directions
  --stuck ADDR[:MASK]   the bits of MASK (default 0x01) at flash address ADDR
                        read back inverted; may be repeated
  --stuck-passes K      the stuck bits show in the first K verification passes
                        only (a pass ends with the final query); default 0: always
  --device-type N       (above) a type other than 3 is not a Зирон-7
  --firmware-date WHEN  (above) later, same or unparseable firmware dates
  --bad-signature       acknowledge the switch into the bootloader with a wrong
                        signature byte
  --never-enter         acknowledge the switch but stay in the main program
  --lose-switch-in N    the first N switches into the bootloader are lost on
                        the line (no acknowledgement, the main program runs on)
  --info-bad-checksum   every information reply fails its checksum
  --info-unanswered S   the main program does not know information step S
                        (0 date, 1 time, 2 identity), as an older one
  --boot-start MS       after a switch into the bootloader it hears nothing
                        for MS milliseconds while it starts
  --main-start MS       after a switch back the main program hears nothing
                        for MS milliseconds while it starts
  --boot-echo MODE      what bytes 1-2 of the bootloader's replies hold: addr
                        (the request's address, default), zero, or random
  --never-leave         the bootloader ignores the switch back
  --lose-switch-back N  the first N switches back to the main program are lost
                        on the line (the bootloader keeps running)
  --silent-after N      answer the first N frames only
  --hangup-after N      close the line when frame N + 1 arrives, and end
  --stall-after N       stop reading when frame N + 1 arrives and keep the line
                        full, so the program's writes wait (a stalled line)
  --start-in-bootloader the bootloader runs from the start (it answers identify
                        and status, not information, as after an update cut short)
  --reply-bit7          replies carry their command with bit 7 set
  --seed S              seed of the fault dice (default: a random seed)

Output
  --transcript FILE     one JSON line per frame received and sent: time, rate,
                        direction, program, meaning, bytes
  --help                this text
  --version             the program's version and the embedded firmware (the
                        seed of a new flash): its version, build time, size
                        and SHA-256
)";
}

}  // namespace sim
