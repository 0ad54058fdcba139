// On Windows every user may open a COM port; a port that another program
// holds refuses the open with access denied (some drivers: sharing
// violation).
#include "PortOpenOutcome.h"
#include "winapi_errors.h"

Outcome PortOpenOutcome(LONG code) {
    switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_NOT_FOUND:
            return Outcome::PortMissing;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return Outcome::PortBusy;
        default:
            return Outcome::PortFailed;
    }
}
