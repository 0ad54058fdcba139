#include "SimulatedOperator.h"

#include "DialogResults.h"
#include "UpdateDlg.h"

namespace simulation {

void SimulatedOperator::OnDialogStarted(CDialog& dialog) {
    m_current = &dialog;
    m_search = dynamic_cast<CPortDlg*>(&dialog);
    const bool search = m_search != nullptr;
    const bool update = dynamic_cast<CUpdateDlg*>(&dialog) != nullptr;
    if (update) {
        m_recorder.UpdateStarted();
    }
    if (m_plan.key != OperatorKey::None && ((search && m_plan.inSearch) || (update && !m_plan.inSearch))) {
        PressKeyLater(dialog);
    }
}

void SimulatedOperator::PressKeyLater(CDialog& dialog) {
    // Выход, Esc and the close box all come to the dialog as Cancel; Enter
    // as the default button, OK.
    const int button = m_plan.key == OperatorKey::Enter ? IDOK : IDCANCEL;
    CDialog* const target = &dialog;
    m_world.After(std::chrono::milliseconds(m_plan.atMs), SimulatedClock::Lane::UserInterface,
                  [this, target, button] {
                      if (m_current == target) {
                          PressDialogButton(*target, button);
                      }
                  });
}

void SimulatedOperator::OnControlChanged(CDialog& dialog, int) {
    if (m_search != &dialog || m_okPressed) {
        return;
    }
    if (CControl* ok = m_search->GetDlgItem(IDOK); ok != nullptr && ok->IsWindowEnabled()) {
        m_okPressed = true;
        PressDialogButton(dialog, IDOK);
    }
}

int SimulatedOperator::OnMessageBox(std::string_view, UINT type) {
    if ((type & MB_YESNO) == MB_YESNO) {
        return m_plan.writeIntoBootloader ? IDYES : IDNO;
    }
    return IDOK;
}

void SimulatedOperator::GiveUp() {
    if (m_current != nullptr) {
        PressDialogButton(*m_current, IDCANCEL);
    }
}

}  // namespace simulation
