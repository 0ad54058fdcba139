// The instrument's main program: it tells who it is, which firmware it runs
// (from the header of its own flash) and, asked with the access code, hands
// over to the bootloader after acknowledging at its own rate.
#pragma once

#include "CommonAnswers.h"
#include "Flash.h"
#include "InstrumentProtocol.h"

namespace sim {

struct MainProgramFaults {
    bool badSignature = false;     // acknowledge the switch with a wrong signature byte
    bool neverEnter = false;       // acknowledge the switch, then keep running
    int lostSwitchesIn = 0;        // the first this many switches never arrive
    bool infoBadChecksum = false;  // information replies leave with a broken checksum
    int unansweredInfoStep = -1;   // an information step this program does not know
};

class MainProgram {
public:
    // Keeps references to `flash`, which must outlive the program.
    MainProgram(const Identity& identity, const Flash& flash, const MainProgramFaults& faults);

    ProgramAnswer Answer(const Request& request);

private:
    ProgramAnswer AnswerInfo(const Request& request) const;
    ProgramAnswer AnswerSwitch(const Request& request);

    Identity m_identity;
    const Flash& m_flash;
    MainProgramFaults m_faults;
    int m_switchesInLost = 0;
};

}  // namespace sim
