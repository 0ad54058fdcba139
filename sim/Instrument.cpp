#include "Instrument.h"

#include <utility>

namespace sim {

Instrument::Instrument(const Identity& identity, Flash& flash, std::uint32_t mainBaud,
                       const MainProgramFaults& mainFaults, BootloaderFaults bootloaderFaults,
                       bool startInBootloader)
    : m_main(identity, flash, mainFaults),
      m_bootloader(identity, flash, std::move(bootloaderFaults)),
      m_mainBaud(mainBaud),
      m_bootloaderRuns(startInBootloader) {}

ProgramAnswer Instrument::Answer(const Request& request) {
    ProgramAnswer answer = m_bootloaderRuns ? m_bootloader.Answer(request) : m_main.Answer(request);
    if (answer.switchesProgram) {
        m_bootloaderRuns = !m_bootloaderRuns;
    }
    return answer;
}

const char* Instrument::ProgramName() const {
    return m_bootloaderRuns ? "bootloader" : "main";
}

std::uint32_t Instrument::Rate() const {
    return m_bootloaderRuns ? kBootloaderBaud : m_mainBaud;
}

}  // namespace sim
