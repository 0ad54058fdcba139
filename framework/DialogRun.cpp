// The dialog base's modal run, the same on every window system: the run's
// start and end, the guard that keeps an ended dialog from handling
// anything more, the window timers' bookkeeping and the bound controls.
// What the window system itself does is the backend's DialogWindow
// (DialogRunState.h lists it).
#include <algorithm>

#include "DialogRunState.h"
#include "DialogTemplate.h"

namespace {

// The shortest window timer period, the window system's own minimum
// (USER_TIMER_MINIMUM on Windows): shorter requests, 0 included, get this
// one, so that no timer turns into a loop that never sleeps.
constexpr UINT kShortestTimerPeriodMs = 10;

}  // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    ReleaseWindow();
}

int CDialog::DoModal() {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_nTemplateId);
    if (m_pWindow != nullptr || dialogTemplate == nullptr || !DialogWindow::CanRunModal()) {
        return -1;
    }
    m_pWindow = std::make_unique<Window>();
    m_pWindow->window = std::make_unique<DialogWindow>(*this, *dialogTemplate, m_pParentWnd);
    const int result = m_pWindow->window->RunModal() ? m_pWindow->result : -1;
    ReleaseWindow();
    return result;
}

void CDialog::OnWindowCreated() {
    m_hWnd = m_pWindow->window->Handle();
    OnInitDialog();
}

void CDialog::EndDialog(int result) {
    if (!IsRunning()) {
        return;
    }
    m_pWindow->ended = true;
    m_pWindow->result = result;
    m_pWindow->window->Finish(result);
}

bool CDialog::IsRunning() const {
    return m_pWindow != nullptr && m_hWnd != nullptr && !m_pWindow->ended;
}

void CDialog::SetWindowText(const std::string& text) {
    if (m_pWindow != nullptr) {
        m_pWindow->window->SetTitle(text);
    }
}

std::string CDialog::GetWindowText() const {
    return m_pWindow == nullptr ? std::string() : m_pWindow->window->Title();
}

int CDialog::DialogUnitsToPixelsX(int dialogUnits) const {
    return m_pWindow == nullptr ? dialogUnits
                                : m_pWindow->window->DialogUnitsToPixelsX(dialogUnits);
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT periodMs) {
    if (m_pWindow == nullptr || m_hWnd == nullptr || id == 0) {
        return 0;
    }
    // The same id restarts the timer with the new period.
    if (!m_pWindow->window->StartTimer(id, std::max(periodMs, kShortestTimerPeriodMs))) {
        return 0;
    }
    m_pWindow->timers.insert(id);
    return id;
}

BOOL CDialog::KillTimer(UINT_PTR id) {
    if (m_pWindow == nullptr || m_pWindow->timers.erase(id) == 0) {
        return FALSE;
    }
    m_pWindow->window->StopTimer(id);
    return TRUE;
}

void CDialog::ReleaseWindow() {
    if (m_pWindow == nullptr) {
        return;
    }
    m_hWnd = nullptr;
    for (CControl* control : m_pWindow->boundControls) {
        control->AttachItem(nullptr);
    }
    m_dialogItems.clear();
    // The window takes its handle, its timers and what is still queued.
    m_pWindow.reset();
}

DialogItem* CDialog::FindItem(int controlId) {
    return m_pWindow == nullptr ? nullptr : m_pWindow->window->FindItem(controlId);
}

void CDialog::BindControl(CControl& control, DialogItem& item) {
    control.AttachItem(&item);
    m_pWindow->boundControls.push_back(&control);
}
