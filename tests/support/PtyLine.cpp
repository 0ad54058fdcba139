#include "PtyLine.h"

#include <poll.h>
#include <unistd.h>

namespace testsupport {

PtyLine::PtyLine(int portNumber) : m_portName("\\\\.\\COM" + std::to_string(portNumber)) {
    m_pty.EnterAs(m_devices.Path(), portNumber);
}

void PtyLine::Send(const std::string& text) const {
    Send(std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> PtyLine::Receive(std::size_t count, int milliseconds) const {
    std::vector<std::uint8_t> received;
    std::uint8_t chunk[512];
    while (received.size() < count) {
        pollfd readable{MasterFd(), POLLIN, 0};
        if (::poll(&readable, 1, milliseconds) <= 0) {
            break;
        }
        const ssize_t n = ::read(MasterFd(), chunk, sizeof chunk);
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

}  // namespace testsupport
