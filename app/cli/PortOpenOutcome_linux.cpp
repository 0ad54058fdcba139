// On Linux the serial devices belong to the group dialout: access denied
// is a right the user lacks; another program's hold is a sharing violation.
#include "PortOpenOutcome.h"
#include "winapi_errors.h"

Outcome PortOpenOutcome(LONG code) {
    switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_NOT_FOUND:
            return Outcome::PortMissing;
        case ERROR_ACCESS_DENIED:
            return Outcome::NoAccess;
        case ERROR_SHARING_VIOLATION:
            return Outcome::PortBusy;
        default:
            return Outcome::PortFailed;
    }
}
