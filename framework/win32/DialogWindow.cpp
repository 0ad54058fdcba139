#include "DialogWindow.h"

#include <utility>
#include <vector>

#include "Dialog.h"
#include "DialogBytes.h"
#include "DialogResults.h"
#include "WideText.h"
#include "WinApp.h"

namespace {

// The program's icon, shown in the caption of every dialog.
constexpr WORD kApplicationIconId = 128;

void ShowApplicationIcon(HWND window) {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    for (const auto& [which, metric] :
         {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
        const int size = GetSystemMetrics(metric);
        auto* icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(kApplicationIconId),
                                                   IMAGE_ICON, size, size, LR_SHARED));
        if (icon != nullptr) {
            SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
        }
    }
}

}  // namespace

DialogWindow::DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, CWnd* parent)
    : m_owner(owner),
      m_template(dialogTemplate),
      m_ownerWindow(parent != nullptr ? parent->GetSafeHwnd() : nullptr) {}

bool DialogWindow::RunModal() {
    const std::vector<WORD> bytes = BuildDialogBytes(m_template);
    // The dialog manager destroys the window before it returns: messages
    // posted to the handle from then on are refused, and its timers are gone.
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                   reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), m_ownerWindow,
                                   &DialogWindow::Procedure, reinterpret_cast<LPARAM>(this)) != -1;
}

void DialogWindow::Attach(HWND window) {
    m_hwnd = window;
    for (const DialogControlTemplate& control : m_template.controls) {
        if (control.id == kNoControlId) {
            continue;  // nobody addresses it
        }
        auto item = std::make_unique<DialogItem>();
        item->id = control.id;
        item->kind = control.kind;
        item->hwnd = GetDlgItem(window, control.id);
        m_items[control.id] = std::move(item);
    }
}

DialogItem* DialogWindow::FindItem(int controlId) {
    const auto it = m_items.find(controlId);
    return it == m_items.end() ? nullptr : it->second.get();
}

bool DialogWindow::StartTimer(UINT_PTR id, UINT periodMs) {
    return ::SetTimer(m_hwnd, id, periodMs, nullptr) != 0;
}

void DialogWindow::StopTimer(UINT_PTR id) {
    // A tick already queued is dropped with the timer.
    ::KillTimer(m_hwnd, id);
}

void DialogWindow::Finish(int result) {
    ::EndDialog(m_hwnd, result);
}

void DialogWindow::SetTitle(const std::string& text) {
    if (m_hwnd != nullptr) {
        ::SetWindowTextW(m_hwnd, WidenUtf8(text).c_str());
    }
}

std::string DialogWindow::Title() const {
    if (m_hwnd == nullptr) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(m_hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(m_hwnd, text.data(), static_cast<int>(text.size()))));
    return NarrowToUtf8(text);
}

int DialogWindow::DialogUnitsToPixelsX(int dialogUnits) const {
    RECT rect = {0, 0, dialogUnits, 0};
    if (m_hwnd != nullptr) {
        ::MapDialogRect(m_hwnd, &rect);
    }
    return rect.right;
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogWindow*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->Attach(window);
        ShowApplicationIcon(window);
        self->m_owner.OnWindowCreated();
        return TRUE;  // the dialog manager sets the focus
    }
    auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_DESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        return FALSE;
    }
    return self->Dispatch(message, wParam, lParam);
}

INT_PTR DialogWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int controlId = LOWORD(wParam);
            const WORD code = HIWORD(wParam);
            const DialogItem* item = FindItem(controlId);
            if (item != nullptr && item->kind == DialogControlKind::ComboBox) {
                if (code == CBN_SELCHANGE) {
                    m_owner.HandleSelectionChanged(controlId);
                }
                return TRUE;
            }
            // A button, or Enter (IDOK or the default button) and Esc or the
            // close box (IDCANCEL) from the dialog manager.
            if (code == BN_CLICKED) {
                m_owner.HandleCommand(controlId);
            }
            return TRUE;
        }
        case WM_TIMER:
            m_owner.HandleTimer(wParam);
            return TRUE;
        case WM_HELP:
            if (CWinApp* app = AfxGetApp()) {
                app->OnCmdMsg(ID_HELP);
            }
            return TRUE;
        default:
            return m_owner.HandlePostedMessage(message, wParam, lParam) ? TRUE : FALSE;
    }
}
