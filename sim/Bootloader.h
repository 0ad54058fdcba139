// The instrument's bootloader at 38400 baud: it takes a page in two halves,
// programs it, reads blocks back, keeps the checksum and end value of a
// finished write, and returns to the main program when asked. Every loader
// request must carry the access code; others are ignored.
#pragma once

#include "CommonAnswers.h"
#include "Flash.h"
#include "InstrumentProtocol.h"
#include "SimOptions.h"

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace sim {

struct BootloaderFaults {
    std::vector<StuckBits> stuck;       // bits that read back inverted
    int stuckPasses = 0;                // verification passes that see them; 0: all
    bool neverLeave = false;            // ignore the switch back
    int lostSwitchBacks = 0;            // the first this many switches back never arrive
    BootEcho echo = BootEcho::Address;  // what bytes 1-2 of the replies hold
    std::uint64_t echoSeed = 0;         // of the random bytes there
};

class Bootloader {
public:
    // Keeps a reference to `flash`, which must outlive the bootloader.
    Bootloader(const Identity& identity, Flash& flash, BootloaderFaults faults);

    ProgramAnswer Answer(const Request& request);

private:
    // The reply to `request`: its operation code, then bytes 1-2 as this
    // bootloader fills them.
    ProgramAnswer Acknowledge(const Request& request, std::string meaning);
    ProgramAnswer LoadHalf(const Request& request);
    ProgramAnswer ProgramPage(const Request& request);
    ProgramAnswer ReadBack(const Request& request);
    ProgramAnswer FinalQuery(const Request& request);
    ProgramAnswer Finish(const Request& request);
    ProgramAnswer SwitchBack();
    bool StuckBitsShow() const;

    Identity m_identity;
    Flash& m_flash;
    BootloaderFaults m_faults;
    std::array<std::uint8_t, kPageSize> m_page;
    bool m_finished = false;  // a write was finished since the bootloader started
    int m_verifyPasses = 0;   // final queries answered
    int m_switchBacksLost = 0;
    std::mt19937_64 m_echoDice;
};

}  // namespace sim
