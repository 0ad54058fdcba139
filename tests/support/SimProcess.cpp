#include "SimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

#include "PollFor.h"

extern char** environ;

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kStartWait{5000};
constexpr milliseconds kExitWait{5000};
constexpr const char* kDeviceDirVariable = "ZIRON7_DEVICE_DIR";

// This process's environment with the device folder replaced, made before
// the fork: the child of a threaded process may only call exec.
std::vector<std::string> ChildEnvironment(const std::string& deviceDir) {
    const std::string prefix = std::string(kDeviceDirVariable) + "=";
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!std::string_view(*entry).starts_with(prefix)) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back(prefix + deviceDir);
    return environment;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

SimProcess::SimProcess(std::string deviceDir, std::vector<std::string> arguments)
    : m_deviceDir(std::move(deviceDir)) {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        return;
    }
    arguments.insert(arguments.begin(), ZIRON7_SIM_PATH);
    std::vector<std::string> environment = ChildEnvironment(m_deviceDir);
    const std::vector<char*> argv = PointersTo(arguments);
    const std::vector<char*> envp = PointersTo(environment);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(output[1]);
    m_stdout = output[0];
    if (m_pid > 0) {
        m_exited = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    }
    const auto deadline = Clock::now() + kStartWait;
    char c = 0;
    while (PollFor(m_stdout, deadline) > 0 && ::read(m_stdout, &c, 1) == 1 && c != '\n') {
        m_readyLine += c;
    }
}

SimProcess::SimProcess(const TempDir& scratch, std::vector<std::string> arguments)
    : SimProcess(scratch / "devices", std::move(arguments)) {}

SimProcess::~SimProcess() {
    Stop(SIGTERM);
    for (const int fd : {m_stdout, m_exited}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string SimProcess::EntryPath(int comNumber) const {
    return m_deviceDir + "/com" + std::to_string(comNumber);
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
    if (m_pid <= 0 || PollFor(m_exited, Clock::now() + wait) <= 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
}

}  // namespace testsupport
