#include "SimHarness.h"

#include "AccessCode.h"
#include "CommandSet.h"
#include "LinkFrame.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

#include "PollFor.h"
#include "SealedFrame.h"

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;
using testsupport::PollFor;

speed_t Speed(std::uint32_t baud) {
    switch (baud) {
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return B115200;
    }
}

}  // namespace

LineClient::LineClient(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
}

LineClient::~LineClient() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void LineClient::SetRate(std::uint32_t baud) {
    termios settings{};
    ::tcgetattr(m_fd, &settings);
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&settings, Speed(baud));
    ::tcsetattr(m_fd, TCSANOW, &settings);
}

void LineClient::Send(Bytes frame) {
    SendRaw(testsupport::Sealed(std::move(frame)));
}

void LineClient::SendRaw(std::span<const std::uint8_t> bytes) {
    ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

bool LineClient::Writable(milliseconds wait) const {
    pollfd writable{m_fd, POLLOUT, 0};
    return ::poll(&writable, 1, static_cast<int>(wait.count())) > 0;
}

bool LineClient::ReadSome(milliseconds wait) {
    if (PollFor(m_fd, Clock::now() + wait) <= 0) {
        return false;
    }
    std::uint8_t bytes[512];
    m_lastRead = ::read(m_fd, bytes, sizeof bytes);
    if (m_lastRead <= 0) {
        return false;
    }
    m_pending.insert(m_pending.end(), bytes, bytes + m_lastRead);
    return true;
}

std::optional<Bytes> LineClient::Receive(milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (m_pending.size() > kFrameLengthIndex) {
            const std::size_t total = m_pending[kFrameLengthIndex] + kFrameOverhead;
            if (m_pending.size() >= total) {
                Bytes frame(m_pending.begin(), m_pending.begin() + static_cast<long>(total));
                m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(total));
                return frame;
            }
        }
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !ReadSome(left)) {
            return std::nullopt;
        }
    }
}

Bytes LineClient::Collect(milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    for (auto left = wait; left.count() > 0;
         left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now())) {
        if (!ReadSome(left) && m_lastRead <= 0) {
            break;
        }
    }
    return std::exchange(m_pending, {});
}

std::optional<Bytes> LineClient::Ask(Bytes frame, milliseconds wait) {
    Send(std::move(frame));
    return Receive(wait);
}

Bytes Identify() {
    return {kRequestStartByte, CMD_IDENTIFY, 0};
}

Bytes Status() {
    return {kRequestStartByte, CMD_STATUS, 0};
}

Bytes Info(std::uint8_t step) {
    return {kRequestStartByte, CMD_INFO, 1, step};
}

Bytes LoaderWithCode(std::span<const std::uint8_t> code, std::uint8_t operation,
                     std::uint16_t address) {
    Bytes frame{0x00, CMD_LOADER, kLoaderHeaderLength};
    frame.insert(frame.end(), code.begin(), code.end());
    frame.push_back(operation);
    frame.push_back(static_cast<std::uint8_t>(address & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(address >> 8));
    return frame;
}

Bytes Loader(std::uint8_t operation, std::uint16_t address, std::span<const std::uint8_t> data,
             std::uint8_t startByte) {
    Bytes frame = LoaderWithCode(kAccessCode, operation, address);
    frame[kFrameStartIndex] = startByte;
    frame[kFrameLengthIndex] = static_cast<std::uint8_t>(kLoaderHeaderLength + data.size());
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

Bytes SwitchProgram() {
    return Loader(BL_SWITCH, 0, {}, kRequestStartByte);
}

Bytes Payload(const Bytes& frame) {
    return Bytes(frame.begin() + kFramePayloadIndex, frame.end() - kFrameCrcSize);
}

bool Intact(const Bytes& frame) {
    return CheckFrame(frame.data(), static_cast<int>(frame.size()));
}

}  // namespace simtest
