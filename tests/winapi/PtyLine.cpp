#include "PtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

PtyLine::PtyLine(int portNumber) {
    char slaveName[256] = {};
    if (openpty(&master_, &slave_, slaveName, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    // The master echoes nothing back and passes bytes as they are.
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);

    char dirTemplate[] = "/tmp/ziron7-devices-XXXXXX";
    deviceDir_ = mkdtemp(dirTemplate);
    std::filesystem::create_symlink(slaveName, deviceDir_ / ("com" + std::to_string(portNumber)));
    setenv("ZIRON7_DEVICE_DIR", deviceDir_.c_str(), 1);
    portName_ = "\\\\.\\COM" + std::to_string(portNumber);
}

PtyLine::~PtyLine() {
    std::error_code ignored;
    std::filesystem::remove_all(deviceDir_, ignored);
    close(slave_);
    close(master_);
}

termios PtyLine::LineSettings() const {
    termios settings{};
    tcgetattr(master_, &settings);
    return settings;
}

void PtyLine::Send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else {
            pollfd writable{master_, POLLOUT, 0};
            poll(&writable, 1, 100);
        }
    }
}

void PtyLine::Send(const std::string& text) const {
    Send(std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> PtyLine::Receive(std::size_t count, int milliseconds) const {
    std::vector<std::uint8_t> received;
    std::uint8_t chunk[512];
    while (received.size() < count) {
        pollfd readable{master_, POLLIN, 0};
        if (poll(&readable, 1, milliseconds) <= 0) {
            break;
        }
        const ssize_t n = read(master_, chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        received.insert(received.end(), chunk, chunk + n);
    }
    return received;
}

bool PtyLine::Quiet(int milliseconds) const {
    return Receive(1, milliseconds).empty();
}
