// The person at the simulated run's dialogs: presses OK once the search has
// found the instrument, answers the question about an instrument found in
// its bootloader as the plan says, and presses the plan's key at its moment
// (a key for a dialog that has ended by then does nothing).
#pragma once

#include "ConsoleOperator.h"
#include "PortDlg.h"
#include "RunPlan.h"
#include "RunRecorder.h"
#include "SimulatedClock.h"

namespace simulation {

class SimulatedOperator final : public ConsoleOperator {
public:
    // None of the three is owned; all outlive the operator.
    SimulatedOperator(const OperatorPlan& plan, SimulatedClock& world, RunRecorder& recorder)
        : m_plan(plan), m_world(world), m_recorder(recorder) {}

    void OnDialogStarted(CDialog& dialog) override;
    void OnControlChanged(CDialog& dialog, int controlId) override;
    int OnMessageBox(std::string_view text, UINT type) override;

    // Ends the dialog that runs now, as Выход does: the oracle's bound.
    void GiveUp();
    // The dialog has ended: no key reaches it any more.
    void OnDialogEnded() {
        m_current = nullptr;
        m_search = nullptr;
    }

private:
    void PressKeyLater(CDialog& dialog);

    const OperatorPlan& m_plan;
    SimulatedClock& m_world;
    RunRecorder& m_recorder;
    CDialog* m_current = nullptr;  // the dialog running now; not owned
    CPortDlg* m_search = nullptr;  // the same, while it is the port dialog
    bool m_okPressed = false;
};

}  // namespace simulation
