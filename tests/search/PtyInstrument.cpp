#include "PtyInstrument.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

constexpr std::size_t kHeaderSize = 3;  // start, command, length
constexpr std::size_t kFrameOverhead = 5;

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
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        pipe(m_stopPipe) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    const std::string slavePath = ptsname(m_master);
    m_slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(m_slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(m_slave, TCSANOW, &raw);
    m_link = deviceDir + "/com" + std::to_string(comNumber);
    std::filesystem::remove(m_link);
    std::filesystem::create_symlink(slavePath, m_link);
    m_thread = std::thread([this] { Serve(); });
}

PtyInstrument::~PtyInstrument() {
    const char stop = 1;
    (void)!write(m_stopPipe[1], &stop, 1);
    m_thread.join();
    for (std::thread& writer : m_writers) {
        writer.join();
    }
    std::filesystem::remove(m_link);
    close(m_stopPipe[0]);
    close(m_stopPipe[1]);
    close(m_slave);
    close(m_master);
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
        pollfd waits[2] = {{m_master, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (poll(waits, 2, -1) < 0 || (waits[1].revents & POLLIN) != 0) {
            return;
        }
        std::uint8_t chunk[512];
        const ssize_t count = read(m_master, chunk, sizeof chunk);
        if (count <= 0) {
            continue;
        }
        const auto at = Clock::now();
        termios line{};
        tcgetattr(m_master, &line);
        held.insert(held.end(), chunk, chunk + count);
        while (held.size() >= kHeaderSize && held.size() >= held[2] + kFrameOverhead) {
            const std::size_t total = held[2] + kFrameOverhead;
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
    }
}

void PtyInstrument::Answer(const Received& frame, int index) {
    if (!m_responder) {
        return;
    }
    std::vector<Piece> pieces = m_responder(frame, index);
    if (pieces.empty()) {
        return;
    }
    m_writers.emplace_back([this, pieces = std::move(pieces)] {
        for (const Piece& piece : pieces) {
            if (piece.pauseMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseMs));
            }
            (void)!write(m_master, piece.bytes.data(), piece.bytes.size());
        }
    });
}

PrivateDeviceDir::PrivateDeviceDir() {
    char pattern[] = "/tmp/ziron7-devices-XXXXXX";
    m_path = mkdtemp(pattern);
    setenv("ZIRON7_DEVICE_DIR", m_path.c_str(), 1);
}

PrivateDeviceDir::~PrivateDeviceDir() {
    std::filesystem::remove_all(m_path);
}
