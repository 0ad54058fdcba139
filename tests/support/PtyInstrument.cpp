#include "PtyInstrument.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "LinkFrame.h"

namespace testsupport {
namespace {

// How often a stalled line is filled up again, in ms.
constexpr int kRefillMs = 5;

int BaudOf(speed_t speed) {
    switch (speed) {
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

}  // namespace

PtyInstrument::PtyInstrument(const std::string& deviceDir, int comNumber, Responder responder)
    : m_responder(std::move(responder)) {
    if (!m_pty.IsOpen() || ::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        return;
    }
    m_pty.EnterAs(deviceDir, comNumber);
    m_thread = std::thread([this] { Serve(); });
}

PtyInstrument::~PtyInstrument() {
    if (m_thread.joinable()) {
        const char stop = 1;
        (void)!::write(m_stopPipe[1], &stop, 1);
        m_thread.join();
    }
    for (std::thread& writer : m_writers) {
        writer.join();
    }
    for (const int end : m_stopPipe) {
        if (end >= 0) {
            ::close(end);
        }
    }
}

std::vector<PtyInstrument::Received> PtyInstrument::Frames() const {
    std::lock_guard guard(m_lock);
    return m_frames;
}

bool PtyInstrument::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock guard(m_lock);
    return m_arrived.wait_for(guard, timeout, [&] { return m_frames.size() >= count; });
}

void PtyInstrument::Serve() {
    std::vector<std::uint8_t> held;
    for (;;) {
        pollfd waits[2] = {{m_pty.MasterFd(), POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 || (waits[1].revents & POLLIN) != 0) {
            return;
        }
        std::uint8_t chunk[512];
        const ssize_t count = ::read(m_pty.MasterFd(), chunk, sizeof chunk);
        if (count <= 0) {
            continue;
        }
        const auto at = Clock::now();
        const termios line = m_pty.LineSettings();
        held.insert(held.end(), chunk, chunk + count);
        while (held.size() > std::size_t{kFrameLengthIndex} &&
               held.size() >= held[kFrameLengthIndex] + std::size_t{kFrameOverhead}) {
            const auto total = static_cast<long>(held[kFrameLengthIndex] + kFrameOverhead);
            Received frame{at, BaudOf(cfgetospeed(&line)),
                           std::vector<std::uint8_t>(held.begin(), held.begin() + total)};
            held.erase(held.begin(), held.begin() + total);
            int index = 0;
            {
                std::lock_guard guard(m_lock);
                index = static_cast<int>(m_frames.size());
                m_frames.push_back(frame);
            }
            m_arrived.notify_all();
            Answer(frame, index);
        }
        if (m_hangUp.load()) {
            m_pty.ReleaseSlave();
            m_pty.CloseMaster();
            IdleUntilStopped();
            return;
        }
        if (m_stopReading.load()) {
            KeepFullUntilStopped();
            return;
        }
    }
}

void PtyInstrument::KeepFullUntilStopped() {
    pollfd stop{m_stopPipe[0], POLLIN, 0};
    do {
        m_pty.FillFromSlave();
    } while (::poll(&stop, 1, kRefillMs) == 0);
}

void PtyInstrument::IdleUntilStopped() const {
    pollfd stop{m_stopPipe[0], POLLIN, 0};
    while (::poll(&stop, 1, -1) < 0 || (stop.revents & POLLIN) == 0) {
    }
}

void PtyInstrument::Answer(const Received& frame, int index) {
    if (!m_responder) {
        return;
    }
    std::vector<Piece> pieces = m_responder(frame, index);
    const bool pauses =
        std::any_of(pieces.begin(), pieces.end(), [](const Piece& p) { return p.pauseMs > 0; });
    if (!pauses) {
        // An instrument answers one request before it reads the next.
        for (const Piece& piece : pieces) {
            m_pty.WriteAll(piece.bytes);
        }
        return;
    }
    m_writers.emplace_back([this, pieces = std::move(pieces)] {
        for (const Piece& piece : pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseMs));
            m_pty.WriteAll(piece.bytes);
        }
    });
}

}  // namespace testsupport
