// The instrument's serial line for tests that play the instrument by hand: a
// pseudo-terminal entered as comN in a private device folder, so the port
// under test opens it as "\\.\COMn". tcgetattr on the master reports the
// line settings the port made.
#pragma once

#include <termios.h>

#include <cstdint>
#include <string>
#include <vector>

#include "PseudoTerminal.h"
#include "TempDir.h"

namespace testsupport {

class PtyLine {
public:
    // Makes the line COM`portNumber` for this process.
    explicit PtyLine(int portNumber = 1);

    // "\\.\COMn", as the program names the port.
    const std::string& PortName() const { return m_portName; }
    // The private device folder the line is entered in.
    const std::string& DeviceDir() const { return m_devices.Path(); }

    termios LineSettings() const { return m_pty.LineSettings(); }
    void Send(const std::vector<std::uint8_t>& bytes) const { m_pty.WriteAll(bytes); }
    void Send(const std::string& text) const;
    // Whatever the port sent, waiting up to `milliseconds` for `count` bytes.
    std::vector<std::uint8_t> Receive(std::size_t count, int milliseconds = 2000) const;
    // True when the port sent nothing within `milliseconds`.
    bool Quiet(int milliseconds) const;

    int MasterFd() const { return m_pty.MasterFd(); }
    // The instrument's side stops reading and the line fills up: the port's
    // writes wait from now on.
    void StopReading() { m_pty.FillFromSlave(); }
    // The adapter is pulled out: the line hangs up.
    void HangUp() {
        m_pty.ReleaseSlave();
        m_pty.CloseMaster();
    }

private:
    PrivateDeviceDir m_devices;
    PseudoTerminal m_pty;
    std::string m_portName;
};

}  // namespace testsupport
