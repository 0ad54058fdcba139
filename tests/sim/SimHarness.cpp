#include "SimHarness.h"

#include "AccessCode.h"
#include "CommandSet.h"
#include "LinkFrame.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace simtest {
namespace {

constexpr milliseconds kStartWait{5000};
constexpr milliseconds kExitWait{5000};

using Clock = std::chrono::steady_clock;

int PollFor(int fd, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    pollfd watched{fd, POLLIN, 0};
    return ::poll(&watched, 1, static_cast<int>(std::max<long long>(left, 0)));
}

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

TempDir::TempDir() {
    char pattern[] = "/tmp/ziron7-simtest-XXXXXX";
    m_path = ::mkdtemp(pattern);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

SimProcess::SimProcess(const TempDir& directory, std::vector<std::string> arguments)
    : m_deviceDirectory(directory / "devices") {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        return;
    }
    arguments.insert(arguments.begin(), ZIRON7_SIM_PATH);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::setenv("ZIRON7_DEVICE_DIR", m_deviceDirectory.c_str(), 1);
        ::dup2(output[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    m_stdout = output[0];
    const auto deadline = Clock::now() + kStartWait;
    char c = 0;
    while (PollFor(m_stdout, deadline) > 0 && ::read(m_stdout, &c, 1) == 1 && c != '\n') {
        m_readyLine += c;
    }
}

SimProcess::~SimProcess() {
    if (m_pid > 0) {
        Stop(SIGTERM);
    }
    if (m_stdout >= 0) {
        ::close(m_stdout);
    }
}

int SimProcess::Stop(int signal) {
    if (m_pid <= 0) {
        return -1;
    }
    ::kill(m_pid, signal);
    int status = WaitForExit(kExitWait);
    if (status == -1 && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    return status;
}

int SimProcess::WaitForExit(milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    while (m_pid > 0) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return status;
        }
        if (Clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return -1;
}

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
    frame.resize(frame.size() + kFrameCrcSize);
    SealFrame(frame.data());
    SendRaw(frame);
}

void LineClient::SendRaw(std::span<const std::uint8_t> bytes) {
    ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
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

Bytes MakeImage(std::size_t size, const char* date, const char* time, std::uint16_t version,
                unsigned seed) {
    std::mt19937 random(seed);
    Bytes image(size);
    for (std::uint8_t& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::memcpy(image.data() + 140, date, 12);  // with its terminating NUL
    std::memcpy(image.data() + 152, time, 9);
    image[163] = static_cast<std::uint8_t>(version & 0xFF);
    image[164] = static_cast<std::uint8_t>(version >> 8);
    return image;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace simtest
