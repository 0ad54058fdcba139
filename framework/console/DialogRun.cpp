// The dialog base without windows: the controls of the template as items in
// memory, window timers and posted messages on the platform's event loop, a
// modal run as a nested loop. The console operator sees the dialog start
// and may press its buttons.
#include "Dialog.h"

#include <vector>

#include "ConsoleOperator.h"
#include "DialogResults.h"
#include "DialogWindow.h"

// What exists only while a modal run lasts.
struct CDialog::Window {
    std::unique_ptr<DialogWindow> window;
    std::vector<CControl*> boundControls;  // members bound by DDX_Control; not owned
    std::string title;
    bool ended = false;
    int result = IDCANCEL;
};

std::map<int, std::unique_ptr<DialogItem>> MakeDialogItems(CDialog& owner,
                                                           const DialogTemplate& dialogTemplate) {
    std::map<int, std::unique_ptr<DialogItem>> items;
    for (const DialogControlTemplate& control : dialogTemplate.controls) {
        if (control.id == kNoControlId) {
            continue;
        }
        auto item = std::make_unique<DialogItem>();
        item->dialog = &owner;
        item->id = control.id;
        item->kind = control.kind;
        item->text = control.text;
        item->enabled = (control.styles & kStyleDisabled) == 0;
        items[control.id] = std::move(item);
    }
    return items;
}

DialogItem* DialogWindow::FindItem(int controlId) {
    const auto it = m_items.find(controlId);
    return it == m_items.end() ? nullptr : it->second.get();
}

void DialogWindow::OnTimer(UINT_PTR id) {
    m_owner.HandleTimer(id);
}

void DialogWindow::OnPosted(UINT message, WPARAM wParam, LPARAM lParam) {
    m_owner.HandlePostedMessage(message, wParam, lParam);
}

void DialogWindow::OnPress(int controlId) {
    if (const DialogItem* item = FindItem(controlId); item == nullptr || item->enabled) {
        m_owner.HandleCommand(controlId);
    }
}

void DialogWindow::PressButtonOf(CDialog& dialog, int controlId) {
    if (dialog.m_pWindow != nullptr) {
        dialog.m_pWindow->window->Press(controlId);
    }
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    ReleaseWindow();
}

int CDialog::DoModal() {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_nTemplateId);
    if (m_pWindow != nullptr || dialogTemplate == nullptr ||
        !DialogWindow::EventLoopExists()) {
        return -1;
    }
    m_pWindow = std::make_unique<Window>();
    m_pWindow->title = dialogTemplate->caption;
    m_pWindow->window = std::make_unique<DialogWindow>(*this, *dialogTemplate);
    m_hWnd = m_pWindow->window->Handle();

    OnInitDialog();
    if (ConsoleOperator* person = InstalledConsoleOperator();
        person != nullptr && !m_pWindow->ended) {
        person->OnDialogStarted(*this);
    }
    if (!m_pWindow->ended) {
        m_pWindow->window->Run();
    }
    const int result = m_pWindow->result;
    ReleaseWindow();
    return result;
}

void CDialog::EndDialog(int result) {
    if (m_pWindow == nullptr || m_pWindow->ended) {
        return;
    }
    m_pWindow->ended = true;
    m_pWindow->result = result;
    m_pWindow->window->Finish();
}

void CDialog::SetWindowText(const std::string& text) {
    if (m_pWindow != nullptr) {
        m_pWindow->title = text;
    }
}

// A console has no pixels; the only width asked for goes to a list that
// keeps none.
int CDialog::DialogUnitsToPixelsX(int dialogUnits) const {
    return dialogUnits;
}

std::string CDialog::GetWindowText() const {
    return m_pWindow == nullptr ? std::string() : m_pWindow->title;
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT periodMs) {
    if (m_pWindow == nullptr || id == 0) {
        return 0;
    }
    m_pWindow->window->StartTimer(id, periodMs);
    return id;
}

BOOL CDialog::KillTimer(UINT_PTR id) {
    return m_pWindow != nullptr && m_pWindow->window->StopTimer(id) ? TRUE : FALSE;
}

bool CDialog::IsRunning() const {
    return m_pWindow != nullptr && !m_pWindow->ended;
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

void PressDialogButton(CDialog& dialog, int controlId) {
    DialogWindow::PressButtonOf(dialog, controlId);
}
