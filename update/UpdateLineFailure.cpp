// The line failing under the update: a write the line did not take in time
// (flow control held off, a hung adapter driver) or the adapter gone. The
// run ends as when the line falls silent, at once instead of after the
// watchdog's 5 s.
#include "UpdateDlg.h"

void CUpdateDlg::EndOnLineFailure() {
    // A failed write and the port's own notice may both report one failure;
    // the box is shown once.
    if (m_bLineFailed) {
        return;
    }
    m_bLineFailed = true;
    KillTimer(m_nPumpTimer);
    GiveUpLink();
}
