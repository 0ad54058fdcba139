// A pseudo-terminal that stands in for the instrument's serial line: the
// port under test opens the slave side as COMn (through a comN symlink in a
// private device folder), the test plays the instrument on the master side.
// tcgetattr on the master reports the line settings the port made.
#pragma once

#include <termios.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class PtyLine {
public:
    // Makes the line COM`portNumber` for this process.
    explicit PtyLine(int portNumber = 1);
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // "\\.\COMn", as the program names the port.
    const std::string& PortName() const { return portName_; }

    termios LineSettings() const;
    void Send(const std::vector<std::uint8_t>& bytes) const;
    void Send(const std::string& text) const;
    // Whatever the port sent, waiting up to `milliseconds` for `count` bytes.
    std::vector<std::uint8_t> Receive(std::size_t count, int milliseconds = 2000) const;
    // True when the port sent nothing within `milliseconds`.
    bool Quiet(int milliseconds) const;

    int MasterFd() const { return master_; }

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the line never hangs up between opens
    std::filesystem::path deviceDir_;
    std::string portName_;
};
