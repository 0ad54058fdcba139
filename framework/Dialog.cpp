// The dialog base's logic that is the same on every window system: data
// exchange, the message map and the dispatch of what happens in the window.
// The window itself, its timers and its modal run are the platform's
// (DialogRun.cpp beside the platform's other framework sources).
#include "Dialog.h"

#include "DialogResults.h"

CControl* CDialog::GetDlgItem(int controlId) {
    DialogItem* item = FindItem(controlId);
    if (item == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CControl>& control = m_dialogItems[controlId];
    if (control == nullptr) {
        control = std::make_unique<CControl>();
        control->AttachItem(item);
    }
    return control.get();
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    if (m_pWindow == nullptr) {
        return FALSE;
    }
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::OnTimer(UINT_PTR) {}

bool CDialog::StartTimer(UINT_PTR& id, UINT periodMs) {
    const UINT_PTR started = SetTimer(id, periodMs);
    if (started == 0) {
        return false;
    }
    id = started;
    return true;
}

void CDialog::MapMessage(UINT message, MessageHandler handler) {
    m_messageMap[message] = std::move(handler);
}

void CDialog::MapButtonClicked(int controlId, std::function<void()> handler) {
    m_buttonMap[controlId] = std::move(handler);
}

void CDialog::MapSelectionChanged(int controlId, std::function<void()> handler) {
    m_selectionMap[controlId] = std::move(handler);
}

void CDialog::HandleCommand(int controlId) {
    if (!IsRunning()) {
        return;  // the run is over: a late click or key changes nothing
    }
    if (const auto it = m_buttonMap.find(controlId); it != m_buttonMap.end()) {
        it->second();
    } else if (controlId == IDOK) {
        OnOK();
    } else if (controlId == IDCANCEL) {
        OnCancel();
    }
}

void CDialog::HandleSelectionChanged(int controlId) {
    if (!IsRunning()) {
        return;
    }
    if (const auto it = m_selectionMap.find(controlId); it != m_selectionMap.end()) {
        it->second();
    }
}

bool CDialog::HandlePostedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto it = m_messageMap.find(message);
    if (it == m_messageMap.end()) {
        return false;
    }
    // A message queued before the run ended (a port notification behind the
    // operator's Выход) is taken and dropped: an ending dialog handles
    // nothing more from its port.
    if (IsRunning()) {
        it->second(wParam, lParam);
    }
    return true;
}

void CDialog::HandleTimer(UINT_PTR id) {
    if (IsRunning()) {
        OnTimer(id);  // no ticks once the run has ended
    }
}
