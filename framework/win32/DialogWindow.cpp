#include "DialogWindow.h"

#include <utility>

#include "Dialog.h"
#include "DialogItem.h"
#include "DialogRunState.h"
#include "DialogTemplate.h"
#include "WinApp.h"

namespace {

// The program's icon, shown in the caption of every dialog.
constexpr WORD kApplicationIconId = 128;

CDialog* DialogOf(HWND window) {
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
}

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

void DialogWindow::AttachWindow(CDialog& dialog, HWND window) {
    dialog.m_hWnd = window;
    dialog.m_pWindow->hwnd = window;
    const DialogTemplate* dialogTemplate = FindDialogTemplate(dialog.m_nTemplateId);
    for (const DialogControlTemplate& control : dialogTemplate->controls) {
        if (control.id == kNoControlId) {
            continue;  // nobody addresses it
        }
        auto item = std::make_unique<DialogItem>();
        item->id = control.id;
        item->kind = control.kind;
        item->hwnd = GetDlgItem(window, control.id);
        dialog.m_pWindow->items[control.id] = std::move(item);
    }
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        AttachWindow(*dialog, window);
        ShowApplicationIcon(window);
        dialog->OnInitDialog();
        return TRUE;  // the dialog manager sets the focus
    }
    CDialog* const dialog = DialogOf(window);
    if (dialog == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_COMMAND: {
            const int controlId = LOWORD(wParam);
            const WORD code = HIWORD(wParam);
            const DialogItem* item = dialog->FindItem(controlId);
            if (item != nullptr && item->kind == DialogControlKind::ComboBox) {
                if (code == CBN_SELCHANGE) {
                    dialog->HandleSelectionChanged(controlId);
                }
                return TRUE;
            }
            // A button, or Enter (IDOK or the default button) and Esc or the
            // close box (IDCANCEL) from the dialog manager.
            if (code == BN_CLICKED) {
                dialog->HandleCommand(controlId);
            }
            return TRUE;
        }
        case WM_TIMER:
            dialog->HandleTimer(wParam);
            return TRUE;
        case WM_HELP:
            if (CWinApp* app = AfxGetApp()) {
                app->OnCmdMsg(ID_HELP);
            }
            return TRUE;
        case WM_DESTROY:
            SetWindowLongPtrW(window, DWLP_USER, 0);
            return FALSE;
        default:
            return dialog->HandlePostedMessage(message, wParam, lParam) ? TRUE : FALSE;
    }
}
