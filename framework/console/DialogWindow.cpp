// The dialog's window without windows: the controls of the template as
// items in memory, timers and posted messages on the build's event loop, a
// modal run as a nested loop. The console operator sees the dialog start
// and may press its buttons.
#include "DialogWindow.h"

#include "ConsoleOperator.h"
#include "DialogRunState.h"

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

DialogWindow::DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, CWnd*)
    : m_owner(owner),
      m_title(dialogTemplate.caption),
      m_items(MakeDialogItems(owner, dialogTemplate)),
      m_events(MakeDialogEvents(*this)) {}

bool DialogWindow::RunModal() {
    m_owner.OnWindowCreated();
    if (ConsoleOperator* person = InstalledConsoleOperator();
        person != nullptr && m_owner.IsRunning()) {
        person->OnDialogStarted(m_owner);
    }
    // A loop that can never get another event returns without Finish: the
    // run then ends as a cancel, the result a run starts with.
    if (m_owner.IsRunning()) {
        m_events->Run();
    }
    return true;
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

void PressDialogButton(CDialog& dialog, int controlId) {
    DialogWindow::PressButtonOf(dialog, controlId);
}
