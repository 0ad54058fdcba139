#include "SimLine.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace sim {
namespace {

constexpr std::size_t kFillPiece = 512;  // bytes per write while filling a stalled line

constexpr std::array<std::pair<speed_t, std::uint32_t>, 10> kRates = {{
    {B1200, 1200},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
    {B460800, 460800},
}};

speed_t SpeedFor(std::uint32_t baud) {
    for (const auto& [speed, rate] : kRates) {
        if (rate == baud) {
            return speed;
        }
    }
    return B9600;
}

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Raw bytes, 8 data bits, no parity, one stop bit, at `baud`.
bool MakeRaw(int fd, std::uint32_t baud) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        return false;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB);
    ::cfsetspeed(&settings, SpeedFor(baud));
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

}  // namespace

SimLine::~SimLine() {
    Close();
}

bool SimLine::OpenPseudoTerminal(std::uint32_t baud, std::string& error) {
    m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0 || ::grantpt(m_fd) != 0 || ::unlockpt(m_fd) != 0) {
        error = Failure("cannot create a pseudo-terminal");
        return false;
    }
    std::array<char, 128> name{};
    if (::ptsname_r(m_fd, name.data(), name.size()) != 0) {
        error = Failure("cannot name the pseudo-terminal");
        return false;
    }
    m_devicePath = name.data();
    m_farEndFd = ::open(m_devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Until the updater sets the line, the far end must not echo or edit what
    // the instrument sends.
    if (m_farEndFd < 0 || !MakeRaw(m_farEndFd, baud)) {
        error = Failure("cannot open the pseudo-terminal's far end");
        return false;
    }
    m_pseudo = true;
    return true;
}

bool SimLine::OpenTty(const std::string& path, std::uint32_t baud, std::string& error) {
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0 || !MakeRaw(m_fd, baud)) {
        error = Failure(("cannot open " + path).c_str());
        return false;
    }
    m_devicePath = path;
    m_pseudo = false;
    return true;
}

std::uint32_t SimLine::Rate() const {
    termios settings{};
    if (m_fd < 0 || ::tcgetattr(m_fd, &settings) != 0) {
        return 0;
    }
    const speed_t speed = ::cfgetospeed(&settings);
    for (const auto& [known, rate] : kRates) {
        if (known == speed) {
            return rate;
        }
    }
    return 0;
}

void SimLine::SetInstrumentRate(std::uint32_t baud) {
    if (m_fd >= 0 && !m_pseudo) {
        ::tcdrain(m_fd);  // the last reply still goes out at the old rate
        MakeRaw(m_fd, baud);
    }
}

ssize_t SimLine::Read(std::span<std::uint8_t> into) {
    return ::read(m_fd, into.data(), into.size());
}

ssize_t SimLine::Write(std::span<const std::uint8_t> bytes) {
    return ::write(m_fd, bytes.data(), bytes.size());
}

void SimLine::FillFromFarEnd() {
    if (!m_pseudo || m_farEndFd < 0) {
        return;
    }
    // Non-blocking on our own hold of the far end only; the program's open
    // of it is its own.
    ::fcntl(m_farEndFd, F_SETFL, ::fcntl(m_farEndFd, F_GETFL) | O_NONBLOCK);
    const std::array<std::uint8_t, kFillPiece> filler{};
    // Big pieces first, then single bytes for the last room there is.
    for (const std::size_t piece : {filler.size(), std::size_t{1}}) {
        while (::write(m_farEndFd, filler.data(), piece) > 0) {
        }
    }
}

void SimLine::Close() {
    for (int* fd : {&m_fd, &m_farEndFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

}  // namespace sim
