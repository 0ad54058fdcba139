// The dialog base on Qt: the window, its timers and its modal run.
#include "Dialog.h"

#include <QApplication>
#include <vector>

#include "DialogItem.h"
#include "DialogResults.h"
#include "DialogTemplate.h"
#include "DialogWindow.h"

// What exists only while a modal run lasts.
struct CDialog::Window {
    std::unique_ptr<DialogWindow> window;
    std::vector<CControl*> boundControls;  // members bound by DDX_Control; not owned
    bool ended = false;
    int result = IDCANCEL;
};

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    ReleaseWindow();
}

int CDialog::DoModal() {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_nTemplateId);
    if (m_pWindow != nullptr || dialogTemplate == nullptr || qApp == nullptr) {
        return -1;
    }
    QWidget* parentWidget = nullptr;
    if (auto* parentDialog = dynamic_cast<CDialog*>(m_pParentWnd)) {
        if (parentDialog->m_pWindow != nullptr) {
            parentWidget = parentDialog->m_pWindow->window.get();
        }
    }
    m_pWindow = std::make_unique<Window>();
    m_pWindow->window = std::make_unique<DialogWindow>(*this, *dialogTemplate, parentWidget);
    // The sink runs on the posting thread while the handle exists; the
    // handle goes before the window, so the window outlives every call.
    DialogWindow* const window = m_pWindow->window.get();
    m_hWnd = CreateWindowHandle([window](UINT message, WPARAM wParam, LPARAM lParam) {
        window->QueuePostedMessage(message, wParam, lParam);
    });

    OnInitDialog();
    if (!m_pWindow->ended) {
        window->setWindowModality(Qt::ApplicationModal);
        window->exec();
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
    if (m_pWindow->window->isVisible()) {
        m_pWindow->window->Finish(result);
    }
}

void CDialog::SetWindowText(const std::string& text) {
    if (m_pWindow != nullptr) {
        m_pWindow->window->setWindowTitle(QString::fromStdString(text));
    }
}

int CDialog::DialogUnitsToPixelsX(int dialogUnits) const {
    return m_pWindow != nullptr && m_pWindow->window != nullptr
               ? m_pWindow->window->Font().ToPixelsX(dialogUnits)
               : dialogUnits;
}

std::string CDialog::GetWindowText() const {
    return m_pWindow == nullptr ? std::string() : m_pWindow->window->windowTitle().toStdString();
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
    DestroyWindowHandle(m_hWnd);
    m_hWnd = nullptr;
    for (CControl* control : m_pWindow->boundControls) {
        control->AttachItem(nullptr);
    }
    m_dialogItems.clear();
    // Deleting the window stops its timers and drops the messages still
    // queued for it.
    m_pWindow.reset();
}

DialogItem* CDialog::FindItem(int controlId) {
    return m_pWindow == nullptr ? nullptr : m_pWindow->window->FindItem(controlId);
}

void CDialog::BindControl(CControl& control, DialogItem& item) {
    control.AttachItem(&item);
    m_pWindow->boundControls.push_back(&control);
}
