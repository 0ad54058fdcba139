#include "ExitCodes.h"

#include "DialogResults.h"
#include "UpdateDlg.h"

int ExitCodeFor(const RunEnd& end) {
    if (!end.imageLoaded) {
        return kExitBadUsage;
    }
    if (end.found && end.phase == PHASE_DONE) {
        return end.success ? kExitSuccess : kExitVerifyFailed;
    }
    if (end.interrupted) {
        return kExitInterrupted;
    }
    if (!end.found) {
        return kExitNotFound;
    }
    if (end.phase == PHASE_LEAVE) {
        // Counted out or fallen silent on the way back to the main program.
        return kExitCannotLeave;
    }
    if (end.phase == PHASE_INFO && end.updateResult == IDOK) {
        // The one OK of an update before its decision: later firmware refused.
        return kExitRefused;
    }
    if (end.phase == PHASE_INFO && end.updateResult == IDCANCEL && !end.foundInLoader) {
        // Another device answered in place of the Зирон-7.
        return kExitNotFound;
    }
    // Cannot enter the bootloader, a wrong signature, a link that fell
    // silent, an instrument in its bootloader left unwritten.
    return kExitLinkLost;
}

std::string InstrumentStateText(const RunEnd& end, bool verifyOnly) {
    if (!end.found) {
        return "the instrument was not reached; nothing was changed";
    }
    switch (end.phase) {
        case PHASE_INFO:
            return end.foundInLoader
                       ? "in its bootloader, nothing was written: switch the source off, then see "
                         "readme.txt"
                       : "the instrument runs its main program; nothing was written";
        case PHASE_ENTER:
            return "unknown: the instrument may be switching into its bootloader; repeat the run";
        case PHASE_WRITE:
            return "in its bootloader with the flash partly written: repeat the update";
        case PHASE_VERIFY:
            return verifyOnly ? "in its bootloader, its flash unchanged: repeat the run"
                              : "in its bootloader, the flash written but not verified: repeat "
                                "the update";
        case PHASE_LEAVE:
            return "in its bootloader or on its way back: switch the source off, then see "
                   "readme.txt";
        default:
            return end.success ? "the new firmware runs" : "back in its main program";
    }
}
