// Framework-internal: the window of a running dialog, built from its
// template. It owns the controls' widgets and turns what happens to them
// (clicks, selection changes, Enter, Esc, the close box, posted messages,
// timer ticks) into calls on its CDialog.
#pragma once

#include <QDialog>
#include <QEvent>
#include <map>
#include <memory>

#include "DialogFont.h"
#include "DialogItem.h"
#include "DialogTemplate.h"
#include "winapi_types.h"

class CDialog;
class QTimer;

class DialogWindow final : public QDialog {
public:
    // Builds the window and its controls; `owner` (not owned) outlives it.
    DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, QWidget* parent);
    ~DialogWindow() override;

    // The control with this id, or null.
    DialogItem* FindItem(int controlId);

    // Queues a posted message for this window's thread. Safe from any
    // thread while the window exists.
    void QueuePostedMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Window timers: start or restart `id`; stop it (false if not running).
    void StartTimer(UINT_PTR id, UINT periodMs);
    bool StopTimer(UINT_PTR id);

    // Ends the window's modal loop with `result`.
    void Finish(int result);

    // The font the controls are laid out in, with its dialog units.
    const DialogFont& Font() const { return m_font; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    CDialog& m_owner;
    DialogFont m_font;
    DialogItem* m_defaultButton = nullptr;  // the template's default button, if any
    bool m_finishing = false;               // the dialog is ending: let the window close
    std::map<int, std::unique_ptr<DialogItem>> m_items;  // by control id
    std::map<UINT_PTR, QTimer*> m_timers;                // children of this window
};
