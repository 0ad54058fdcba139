// The instrument's end of the serial line: a new pseudo-terminal whose far end
// the updater opens, or a real tty. On a pseudo-terminal the updater sets the
// line rate on its end and the simulator reads it back (the master reports the
// far end's settings); on a real tty the simulator sets its own rate and the
// wire garbles mismatched bytes by itself.
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <span>
#include <string>

namespace sim {

class SimLine {
public:
    SimLine() = default;
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Creates a pseudo-terminal, raw, 8N1 at `baud`. The simulator keeps its
    // far end open too, so the updater may close and reopen it at will
    // without hanging up the line.
    bool OpenPseudoTerminal(std::uint32_t baud, std::string& error);
    // Opens a tty, raw, 8N1 at `baud`.
    bool OpenTty(const std::string& path, std::uint32_t baud, std::string& error);

    bool IsOpen() const { return m_fd >= 0; }
    int PollFd() const { return m_fd; }
    // The path the updater opens: the pseudo-terminal's far end, or the tty.
    const std::string& DevicePath() const { return m_devicePath; }

    // The rate the line runs at now, in baud; 0 when it is none of the
    // standard rates.
    std::uint32_t Rate() const;
    // The instrument changed its own rate: a real port follows, a
    // pseudo-terminal's rate stays the updater's business.
    void SetInstrumentRate(std::uint32_t baud);

    // Non-blocking; the results are those of read(2) and write(2).
    ssize_t Read(std::span<std::uint8_t> into);
    ssize_t Write(std::span<const std::uint8_t> bytes);

    // Hangs up: closes both ends.
    void Close();
    // Fills a pseudo-terminal from its far end until it takes no more, as a
    // reader that stopped reading leaves it: the program's writes then
    // wait. The kernel makes a little room again as it moves the bytes on,
    // so a stalled line is filled again now and then. Nothing on a tty.
    void FillFromFarEnd();

private:
    int m_fd = -1;        // owned: the pseudo-terminal master, or the tty
    int m_farEndFd = -1;  // owned: our hold on the pseudo-terminal's far end
    bool m_pseudo = false;
    std::string m_devicePath;
};

}  // namespace sim
