#include "PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace testsupport {
namespace {
constexpr int kFullLineWaitMs = 100;  // then the write is tried again
constexpr int kFullLineSettleMs = 50;  // without room this long, the line is full
constexpr int kFillRounds = 100;
}

PseudoTerminal::PseudoTerminal() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        CloseMaster();
        return;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = ::ptsname(m_master);
    m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
}

PseudoTerminal::~PseudoTerminal() {
    if (!m_entry.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_entry, ignored);
    }
    ReleaseSlave();
    CloseMaster();
}

void PseudoTerminal::EnterAs(const std::string& deviceDir, int comNumber) {
    m_entry = deviceDir + "/com" + std::to_string(comNumber);
    std::error_code ignored;
    std::filesystem::remove(m_entry, ignored);
    std::filesystem::create_symlink(m_slavePath, m_entry);
}

void PseudoTerminal::ReleaseSlave() {
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
}

void PseudoTerminal::CloseMaster() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

void PseudoTerminal::FillFromSlave() {
    if (m_slave < 0) {
        return;
    }
    // Non-blocking on this end's own open file only; the port's is its own.
    ::fcntl(m_slave, F_SETFL, ::fcntl(m_slave, F_GETFL) | O_NONBLOCK);
    // Big pieces first, then single bytes for the last room there is. The
    // kernel moves written bytes on to the reading end's buffer a moment
    // after the write, which frees room again: the line counts as full only
    // once it has stayed without room for a while.
    const std::uint8_t filler[512] = {};
    pollfd room{m_slave, POLLOUT, 0};
    for (int round = 0; round < kFillRounds; ++round) {
        for (const std::size_t piece : {sizeof filler, std::size_t{1}}) {
            while (::write(m_slave, filler, piece) > 0) {
            }
        }
        if (::poll(&room, 1, kFullLineSettleMs) == 0) {
            return;
        }
    }
    ADD_FAILURE() << "the line never stayed full";
}

termios PseudoTerminal::LineSettings() const {
    termios settings{};
    ::tcgetattr(m_master, &settings);
    return settings;
}

void PseudoTerminal::WriteAll(std::span<const std::uint8_t> bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::write(m_master, bytes.data() + sent, bytes.size() - sent);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
        } else if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd writable{m_master, POLLOUT, 0};
            ::poll(&writable, 1, kFullLineWaitMs);
        } else {
            return;
        }
    }
}

}  // namespace testsupport
