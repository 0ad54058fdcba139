// Framework-internal: the window of a running dialog, built from its
// template. It owns the controls' widgets and turns what happens to them
// (clicks, selection changes, Enter, Esc, the close box, posted messages,
// timer ticks) into calls on its CDialog.
#pragma once

#include <QDialog>
#include <QEvent>
#include <map>
#include <memory>
#include <string>

#include "DialogFont.h"
#include "DialogItem.h"
#include "DialogTemplate.h"
#include "winapi_types.h"

class CDialog;
class CWnd;
class QTimer;

class DialogWindow final : public QDialog {
public:
    // Builds the window, its controls and its handle; `owner` and `parent`
    // (a running dialog keeps this one above it; may be null), neither
    // owned, outlive it. The members below are those of DialogRunState.h.
    DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, CWnd* parent);
    ~DialogWindow() override;

    static bool CanRunModal();
    bool RunModal();
    HWND Handle() const { return m_handle; }
    DialogItem* FindItem(int controlId);
    bool StartTimer(UINT_PTR id, UINT periodMs);
    void StopTimer(UINT_PTR id);
    void Finish(int result);
    void SetTitle(const std::string& text);
    std::string Title() const;
    int DialogUnitsToPixelsX(int dialogUnits) const { return m_font.ToPixelsX(dialogUnits); }

    // The font the controls are laid out in, with its dialog units.
    const DialogFont& Font() const { return m_font; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // The window of `parent` when that is a running dialog, else null.
    static QWidget* RunningWindowOf(CWnd* parent);

    CDialog& m_owner;
    DialogFont m_font;
    DialogItem* m_defaultButton = nullptr;  // the template's default button, if any
    bool m_finishing = false;               // the dialog is ending: let the window close
    std::map<int, std::unique_ptr<DialogItem>> m_items;  // by control id
    std::map<UINT_PTR, QTimer*> m_timers;                // children of this window
    HWND m_handle = nullptr;  // posts become PostedMessageEvents to this window
};
