// The simulated Зирон-7: its two programs over one flash, which of them runs,
// and at which rate it listens and talks.
#pragma once

#include "Bootloader.h"
#include "CommonAnswers.h"
#include "Flash.h"
#include "MainProgram.h"

#include <cstdint>

namespace sim {

class Instrument {
public:
    // Keeps a reference to `flash`, which must outlive the instrument.
    Instrument(const Identity& identity, Flash& flash, std::uint32_t mainBaud,
               const MainProgramFaults& mainFaults, BootloaderFaults bootloaderFaults,
               bool startInBootloader);

    // The running program's answer; when it says so, the other program runs
    // from then on (its reply still goes out at the old rate).
    ProgramAnswer Answer(const Request& request);

    bool BootloaderRuns() const { return m_bootloaderRuns; }
    const char* ProgramName() const;
    // The running program's rate, in baud.
    std::uint32_t Rate() const;

private:
    MainProgram m_main;
    Bootloader m_bootloader;
    std::uint32_t m_mainBaud;
    bool m_bootloaderRuns;
};

}  // namespace sim
