// A pseudo-terminal pair standing in for the instrument's serial line: the
// test plays the instrument on the master side, the port under test opens
// the slave side through a comN entry in a device folder. Neither end is
// inherited by a child process, so a simulator started meanwhile never
// holds the line open.
#pragma once

#include <termios.h>

#include <cstdint>
#include <span>
#include <string>

namespace testsupport {

class PseudoTerminal {
public:
    // Opens the pair: the slave raw (no echo, bytes as they are), the master
    // non-blocking. When no pair can be had the test records a failure and
    // IsOpen() is false.
    PseudoTerminal();
    // Removes the entry and closes both ends.
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return m_master >= 0; }
    int MasterFd() const { return m_master; }

    // Enters the slave as `deviceDir`/com`comNumber`, replacing what was there.
    void EnterAs(const std::string& deviceDir, int comNumber);
    // Lets go of the slave end held here, so that the line hangs up as soon
    // as the port closes it too.
    void ReleaseSlave();
    // Closes the master: the adapter is pulled out.
    void CloseMaster();
    // Fills the line from the slave end held here until it takes no more,
    // as a reader that stopped reading would leave it: the port's next
    // write then waits. The kernel makes a little room again as it moves
    // bytes on to the master's side, so a line kept full is filled again
    // now and then.
    void FillFromSlave();

    // The line settings the port made, as the master sees them.
    termios LineSettings() const;
    // Writes every byte, waiting while the line is full; stops early only if
    // the line is gone.
    void WriteAll(std::span<const std::uint8_t> bytes) const;

private:
    int m_master = -1;
    int m_slave = -1;  // held so the line never hangs up between opens of the port
    std::string m_slavePath;
    std::string m_entry;
};

}  // namespace testsupport
