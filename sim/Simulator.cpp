#include "Simulator.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "StaleInput.h"

namespace sim {
namespace {

// After the far end reports a hang-up (no one holds it open), look again
// after this long rather than spin on the report.
constexpr std::chrono::milliseconds kHangupBackoff{100};
// How often a stalled line is filled up again.
constexpr std::chrono::milliseconds kStallRefill{5};
constexpr std::size_t kReadChunk = 4096;

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
    : m_options(options), m_end(options, SimClock::now()) {}

bool Simulator::Start(std::string& error) {
    // Before anything is announced, so that a signal right after "ready"
    // still ends the simulator through its own clean-up.
    m_signals = SignalDescriptor();
    if (m_signals < 0) {
        error = std::string("cannot watch signals: ") + std::strerror(errno);
        return false;
    }
    if (!m_end.Start(error)) {
        return false;
    }
    m_lineRateSet = m_end.Rate();
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
        // Before the line is announced, so that they wait when the updater opens it.
        if (const std::vector<std::uint8_t> stale = StaleInput(m_options); !stale.empty()) {
            if (m_line.Write(stale) != static_cast<ssize_t>(stale.size())) {
                error = "cannot leave the stale bytes on the line";
                return false;
            }
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
        std::optional<SimTime> deadline = m_end.NextEvent();
        const bool stalled = m_end.Stalled();
        const bool lineResting = stalled || now < m_lineQuietUntil;
        if (stalled) {
            m_line.FillFromFarEnd();
            const SimTime refill = now + kStallRefill;
            if (!deadline || refill < *deadline) {
                deadline = refill;
            }
        } else if (lineResting && (!deadline || m_lineQuietUntil < *deadline)) {
            deadline = m_lineQuietUntil;
        }
        const bool writeNow = !m_unwritten.empty();
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
        m_end.Receive(read, m_line.Rate(), now);
        return true;
    }
    // On a pseudo-terminal, EIO only means that no one holds the far end open.
    return got < 0 && (errno == EAGAIN || errno == EINTR);
}

bool Simulator::HandleArrived(SimTime now) {
    if (m_end.HandleArrived(now)) {
        return true;
    }
    m_line.Close();
    m_entry.Remove();
    std::fprintf(stderr, "ziron7-sim: hung up the line as asked\n");
    return false;
}

void Simulator::WriteDue(SimTime now) {
    std::vector<LineByte> due;
    m_end.TakeDue(now, m_line.Rate(), due);
    for (const LineByte& byte : due) {
        m_unwritten.push_back(byte.value);
    }
    if (m_unwritten.empty() || !m_line.IsOpen()) {
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
    const std::uint32_t rate = m_end.Rate();
    if (rate != m_lineRateSet && m_unwritten.empty() && !m_end.HasOutgoing()) {
        m_line.SetInstrumentRate(rate);
        m_lineRateSet = rate;
    }
}

}  // namespace sim
