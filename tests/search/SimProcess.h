// The simulated instrument, ziron7-sim, as a child process of a test: started
// with the given options, ready once it has printed "ready", ended with
// SIGTERM when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class SimProcess {
public:
    // Starts the sim with `options` and waits (up to 5 s) until it is ready.
    explicit SimProcess(const std::vector<std::string>& options);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool IsReady() const { return m_ready; }

private:
    pid_t m_pid = -1;
    int m_output = -1;  // the sim's standard output, kept open while it runs
    bool m_ready = false;
};
