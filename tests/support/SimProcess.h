// The simulated instrument, ziron7-sim, as a child process of a test: started
// with the given flags and its device entries in a given folder, ready once
// it has printed its "ready" line, ended with SIGTERM (SIGKILL if it does not
// go) when the object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "TempDir.h"

namespace testsupport {

class SimProcess {
public:
    // Starts the simulator with `arguments`, its comN entries made in
    // `deviceDir`, and waits up to 5 s for its first line.
    SimProcess(std::string deviceDir, std::vector<std::string> arguments);
    // The same with the entries in `scratch`/devices.
    SimProcess(const TempDir& scratch, std::vector<std::string> arguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The first line it printed, empty when the simulator never got ready.
    const std::string& ReadyLine() const { return m_readyLine; }
    bool IsReady() const { return m_readyLine.starts_with("ready"); }
    std::string EntryPath(int comNumber = 1) const;

    // Sends `signal` and waits for the end; the exit status as waitpid gives it.
    int Stop(int signal);
    // Waits up to `wait` for the process to end by itself; its status, or -1.
    int WaitForExit(std::chrono::milliseconds wait);

private:
    std::string m_deviceDir;
    std::string m_readyLine;
    pid_t m_pid = -1;
    int m_exited = -1;  // owned: readable once the process has ended
    int m_stdout = -1;  // owned: the read end of the simulator's standard output
};

}  // namespace testsupport
