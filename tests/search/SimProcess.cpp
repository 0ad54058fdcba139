#include "SimProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

namespace {
constexpr int kStartTimeoutMs = 5000;
}

SimProcess::SimProcess(const std::vector<std::string>& options) {
    int output[2];
    if (pipe(output) != 0) {
        return;
    }
    std::vector<std::string> arguments{ZIRON7_SIM_PATH};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(output[1]);
    std::string printed;
    pollfd wait{output[0], POLLIN, 0};
    while (printed.find('\n') == std::string::npos && poll(&wait, 1, kStartTimeoutMs) > 0) {
        char chunk[256];
        const ssize_t count = read(output[0], chunk, sizeof chunk);
        if (count <= 0) {
            break;
        }
        printed.append(chunk, static_cast<std::size_t>(count));
    }
    m_output = output[0];
    m_ready = std::string_view(printed).starts_with("ready");
}

SimProcess::~SimProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_output >= 0) {
        close(m_output);
    }
}
