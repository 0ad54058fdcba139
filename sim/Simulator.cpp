#include "Simulator.h"

#include "FirmwareSeed.h"
#include "LinkFrame.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace sim {
namespace {

// After the far end reports a hang-up (no one holds it open), look again
// after this long rather than spin on the report.
constexpr std::chrono::milliseconds kHangupBackoff{100};
// How often a stalled line is filled up again.
constexpr std::chrono::milliseconds kStallRefill{5};
constexpr std::size_t kReadChunk = 4096;

WireFaults WireFaultsFrom(const SimOptions& options) {
    return {options.flipIn,  options.flipOut, options.dropIn,
            options.dropOut, options.pace,    options.noise};
}

std::uint64_t SeedFrom(const SimOptions& options) {
    if (options.seed) {
        return *options.seed;
    }
    const std::uint64_t seed = std::random_device{}();
    std::fprintf(stderr, "ziron7-sim: fault dice seeded with %llu\n",
                 static_cast<unsigned long long>(seed));
    return seed;
}

timespec Until(SimTime deadline, SimTime now) {
    const auto wait = std::max(deadline - now, SimClock::duration::zero());
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    return timespec{static_cast<time_t>(nanoseconds / 1'000'000'000),
                    static_cast<long>(nanoseconds % 1'000'000'000)};
}

// SIGINT, SIGTERM and SIGHUP arrive as readable data on a descriptor, so the
// loop ends them like any other event and cleans up on the way out.
int SignalDescriptor() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&signals, signal);
    }
    if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) {
        return -1;
    }
    ::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace

Simulator::~Simulator() {
    if (m_signals >= 0) {
        ::close(m_signals);
    }
}

Simulator::Simulator(const SimOptions& options)
    : m_options(options),
      m_start(SimClock::now()),
      m_wire(WireFaultsFrom(options), SeedFrom(options)),
      m_transcript(m_start) {}

bool Simulator::Start(std::string& error) {
    // Before anything is announced, so that a signal right after "ready"
    // still ends the simulator through its own clean-up.
    m_signals = SignalDescriptor();
    if (m_signals < 0) {
        error = std::string("cannot watch signals: ") + std::strerror(errno);
        return false;
    }
    std::vector<std::uint8_t> seed;
    const bool needsSeed = !FlashFileExists(m_options.flashPath);
    if (needsSeed) {
        if (!LoadSeedImage(m_options.firmwarePath, seed, error)) {
            return false;
        }
        SetBuildDate(seed, m_options.firmwareDate);
    }
    if (!m_flash.Open(m_options.flashPath, seed, m_options.reprogrammings, error)) {
        return false;
    }
    const Identity identity{static_cast<std::uint8_t>(m_options.deviceType),
                            static_cast<std::uint8_t>(m_options.year - kYearBase),
                            static_cast<std::uint8_t>(m_options.month),
                            static_cast<std::uint16_t>(m_options.serialNumber)};
    m_instrument = std::make_unique<Instrument>(
        identity, m_flash, m_options.mainBaud,
        MainProgramFaults{m_options.badSignature, m_options.neverEnter, m_options.lostSwitchesIn,
                          m_options.infoBadChecksum, m_options.unansweredInfoStep},
        BootloaderFaults{m_options.stuck, m_options.stuckPasses, m_options.neverLeave,
                         m_options.lostSwitchBacks, m_options.bootEcho, m_options.seed.value_or(0)},
        m_options.startInBootloader);

    if (!m_options.transcriptPath.empty() && !m_transcript.Open(m_options.transcriptPath, error)) {
        return false;
    }
    m_lineRateSet = m_instrument->Rate();
    if (!m_options.ttyPath.empty()) {
        if (!m_line.OpenTty(m_options.ttyPath, m_lineRateSet, error)) {
            return false;
        }
        std::printf("ready %s\n", m_line.DevicePath().c_str());
    } else {
        if (!m_line.OpenPseudoTerminal(m_lineRateSet, error) ||
            !m_entry.Create(m_options.comNumber, m_line.DevicePath(), error)) {
            return false;
        }
        std::printf("ready COM%d %s\n", m_options.comNumber, m_line.DevicePath().c_str());
    }
    std::fflush(stdout);
    return true;
}

int Simulator::Run() {
    int exitCode = 0;
    for (;;) {
        SimTime now = SimClock::now();
        std::optional<SimTime> deadline = m_wire.NextEvent();
        const bool lineResting = m_stalled || now < m_lineQuietUntil;
        if (m_stalled) {
            m_line.FillFromFarEnd();
            const SimTime refill = now + kStallRefill;
            if (!deadline || refill < *deadline) {
                deadline = refill;
            }
        } else if (lineResting && (!deadline || m_lineQuietUntil < *deadline)) {
            deadline = m_lineQuietUntil;
        }
        const bool writeNow = !m_unwritten.empty() && ChunkDue(now);
        if (!m_unwritten.empty() && !writeNow && (!deadline || m_nextChunk < *deadline)) {
            deadline = m_nextChunk;
        }
        const short lineEvents = static_cast<short>(POLLIN | (writeNow ? POLLOUT : 0));
        std::array<pollfd, 2> watched = {
            {{lineResting ? -1 : m_line.PollFd(), lineEvents, 0}, {m_signals, POLLIN, 0}}};
        const timespec wait = deadline ? Until(*deadline, now) : timespec{};
        if (::ppoll(watched.data(), watched.size(), deadline ? &wait : nullptr, nullptr) < 0 &&
            errno != EINTR) {
            std::fprintf(stderr, "ziron7-sim: poll failed: %s\n", std::strerror(errno));
            exitCode = 1;
            break;
        }
        if (watched[1].revents != 0) {
            signalfd_siginfo info{};
            if (::read(m_signals, &info, sizeof info) > 0) {
                break;
            }
        }
        now = SimClock::now();
        if ((watched[0].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadLine(now)) {
            if (!m_options.ttyPath.empty()) {
                std::fprintf(stderr, "ziron7-sim: %s hung up\n", m_line.DevicePath().c_str());
                exitCode = 1;
                break;
            }
            m_lineQuietUntil = now + kHangupBackoff;
        }
        if (!HandleArrived(now)) {
            break;
        }
        WriteDue(now);
        FollowInstrumentRate();
    }
    m_entry.Remove();
    return exitCode;
}

bool Simulator::ReadLine(SimTime now) {
    std::array<std::uint8_t, kReadChunk> bytes;
    const ssize_t got = m_line.Read(bytes);
    if (got > 0) {
        const std::span<const std::uint8_t> read = std::span(bytes).first(static_cast<std::size_t>(got));
        if (m_options.echo) {
            // Returned as the line carries them, at the updater's own rate,
            // before anything the instrument makes of them.
            m_unwritten.insert(m_unwritten.end(), read.begin(), read.end());
        }
        m_wire.Receive(read, m_line.Rate(), now);
        return true;
    }
    // On a pseudo-terminal, EIO only means that no one holds the far end open.
    return got < 0 && (errno == EAGAIN || errno == EINTR);
}

bool Simulator::HandleArrived(SimTime now) {
    while (const auto byte = m_wire.NextArrived(now, m_instrument->Rate())) {
        if (const auto frame = m_reader.Feed(*byte)) {
            if (!HandleFrame(*frame, byte->at)) {
                return false;
            }
        }
    }
    return true;
}

bool Simulator::HandleFrame(const CutFrame& frame, SimTime arrivedAt) {
    const std::uint32_t rate = m_instrument->Rate();
    const char* program = m_instrument->ProgramName();
    Transcript::Entry entry{arrivedAt, true, rate, program, {}, {}, frame.bytes};
    if (!frame.intact) {
        entry.meaning = "broken frame";
        entry.outcome = "ignored: bad length or checksum";
        m_transcript.Record(entry);
        return true;
    }
    ++m_framesReceived;
    const Request request{frame.bytes.data()};
    const std::string meaning = DescribeRequest(request);
    entry.meaning = meaning;
    if (m_options.hangupAfter && m_framesReceived > *m_options.hangupAfter) {
        entry.outcome = "hangs up";
        m_transcript.Record(entry);
        m_line.Close();
        m_entry.Remove();
        std::fprintf(stderr, "ziron7-sim: hung up the line as asked\n");
        return false;
    }
    if (m_options.stallAfter && m_framesReceived > *m_options.stallAfter) {
        entry.outcome = "stops reading: the line stalls";
        m_transcript.Record(entry);
        m_stalled = true;
        return true;
    }
    if (m_options.silentAfter && m_framesReceived > *m_options.silentAfter) {
        entry.outcome = "ignored: fallen silent";
        m_transcript.Record(entry);
        return true;
    }
    const ProgramAnswer answer = m_instrument->Answer(request);
    const std::string outcome = answer.outcome.empty() ? "answered" : answer.outcome;
    entry.outcome = outcome;
    m_transcript.Record(entry);
    Reply(answer, rate, program, arrivedAt);
    return true;
}

void Simulator::Reply(const ProgramAnswer& answer, std::uint32_t rate, const char* program,
                      SimTime arrivedAt) {
    if (!answer.reply) {
        return;
    }
    std::vector<std::uint8_t> frame = SealReply(*answer.reply, m_options.replyBit7);
    if (answer.brokenChecksum) {
        frame.back() ^= 0xFF;
    }
    const SimTime notBefore = arrivedAt + std::chrono::milliseconds(m_options.replyDelayMs);
    const int copies = m_wire.Chance(m_options.duplicate) ? 2 : 1;
    for (int copy = 0; copy < copies; ++copy) {
        m_wire.Send(frame, rate, notBefore,
                    [this, frame, rate, program, meaning = answer.replyMeaning](SimTime at) {
                        m_transcript.Record({at, false, rate, program, meaning, {}, frame});
                    });
    }
}

bool Simulator::ChunkDue(SimTime now) const {
    return m_options.chunkMs == 0 || now >= m_nextChunk;
}

void Simulator::WriteDue(SimTime now) {
    const bool wasEmpty = m_unwritten.empty();
    m_wire.TakeDue(now, m_line.Rate(), m_unwritten);
    if (m_options.chunkMs > 0 && wasEmpty && !m_unwritten.empty() && now >= m_nextChunk) {
        // The adapter's timer starts with the first byte it holds.
        m_nextChunk = now + std::chrono::milliseconds(m_options.chunkMs);
    }
    if (m_unwritten.empty() || !m_line.IsOpen() || !ChunkDue(now)) {
        return;
    }
    const ssize_t put = m_line.Write(m_unwritten);
    if (put > 0) {
        m_unwritten.erase(m_unwritten.begin(), m_unwritten.begin() + put);
    } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
        // No one is listening; a real instrument's bytes would be gone too.
        m_unwritten.clear();
    }
}

void Simulator::FollowInstrumentRate() {
    const std::uint32_t rate = m_instrument->Rate();
    if (rate != m_lineRateSet && m_unwritten.empty() && !m_wire.HasOutgoing()) {
        m_line.SetInstrumentRate(rate);
        m_lineRateSet = rate;
    }
}

}  // namespace sim
