// The dialog base on Win32: a modal run of the dialog manager from the
// template in memory, the window's caption, controls and timers.
#include <algorithm>

#include "Dialog.h"
#include "DialogBytes.h"
#include "DialogRunState.h"
#include "DialogTemplate.h"
#include "DialogWindow.h"
#include "WideText.h"

namespace {

// The shortest timer period; shorter requests (0 included) get this one,
// so that no timer turns into a loop that never sleeps.
constexpr UINT kShortestTimerPeriodMs = USER_TIMER_MINIMUM;

}  // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    ReleaseWindow();
}

int CDialog::DoModal() {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_nTemplateId);
    if (m_pWindow != nullptr || dialogTemplate == nullptr) {
        return -1;
    }
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->GetSafeHwnd() : nullptr;
    m_pWindow = std::make_unique<Window>();
    const std::vector<WORD> bytes = BuildDialogBytes(*dialogTemplate);
    const INT_PTR ended = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
        &DialogWindow::Procedure, reinterpret_cast<LPARAM>(this));
    const int result = ended == -1 ? -1 : m_pWindow->result;
    ReleaseWindow();
    return result;
}

void CDialog::EndDialog(int result) {
    if (!IsRunning()) {
        return;
    }
    m_pWindow->ended = true;
    m_pWindow->result = result;
    ::EndDialog(m_pWindow->hwnd, result);
}

bool CDialog::IsRunning() const {
    return m_pWindow != nullptr && m_pWindow->hwnd != nullptr && !m_pWindow->ended;
}

void CDialog::SetWindowText(const std::string& text) {
    if (m_pWindow != nullptr && m_pWindow->hwnd != nullptr) {
        ::SetWindowTextW(m_pWindow->hwnd, WidenUtf8(text).c_str());
    }
}

int CDialog::DialogUnitsToPixelsX(int dialogUnits) const {
    RECT rect = {0, 0, dialogUnits, 0};
    if (m_pWindow != nullptr && m_pWindow->hwnd != nullptr) {
        ::MapDialogRect(m_pWindow->hwnd, &rect);
    }
    return rect.right;
}

std::string CDialog::GetWindowText() const {
    if (m_pWindow == nullptr || m_pWindow->hwnd == nullptr) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(m_pWindow->hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(m_pWindow->hwnd, text.data(), static_cast<int>(text.size()))));
    return NarrowToUtf8(text);
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT periodMs) {
    if (m_pWindow == nullptr || m_pWindow->hwnd == nullptr || id == 0) {
        return 0;
    }
    // The same id restarts the timer with the new period.
    if (::SetTimer(m_pWindow->hwnd, id, std::max(periodMs, kShortestTimerPeriodMs), nullptr) == 0) {
        return 0;
    }
    m_pWindow->timers.insert(id);
    return id;
}

BOOL CDialog::KillTimer(UINT_PTR id) {
    if (m_pWindow == nullptr || m_pWindow->timers.erase(id) == 0) {
        return FALSE;
    }
    // A tick already queued is dropped with the timer.
    return ::KillTimer(m_pWindow->hwnd, id);
}

void CDialog::ReleaseWindow() {
    if (m_pWindow == nullptr) {
        return;
    }
    // The dialog manager has destroyed the window: messages posted to the
    // handle from now on are refused, and its timers are gone with it.
    m_hWnd = nullptr;
    for (CControl* control : m_pWindow->boundControls) {
        control->AttachItem(nullptr);
    }
    m_dialogItems.clear();
    m_pWindow.reset();
}

DialogItem* CDialog::FindItem(int controlId) {
    if (m_pWindow == nullptr) {
        return nullptr;
    }
    const auto it = m_pWindow->items.find(controlId);
    return it == m_pWindow->items.end() ? nullptr : it->second.get();
}

void CDialog::BindControl(CControl& control, DialogItem& item) {
    control.AttachItem(&item);
    m_pWindow->boundControls.push_back(&control);
}
