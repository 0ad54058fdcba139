// A control of a running dialog as a window object: what every kind of
// control can do. A control object is bound to the control with the same id
// in the dialog's window by data exchange (DDX_Control) and comes loose when
// the window goes; calls on a loose control do nothing and report failure.
#pragma once

#include <string>

#include "Wnd.h"

// The platform's side of one control in a dialog window; only the framework
// looks inside.
struct DialogItem;

class CControl : public CWnd {
public:
    CControl() = default;

    // Enables or disables input to the control. Returns TRUE when it was
    // disabled before the call.
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;

    // The control's text (UTF-8): a static's line, a button's caption.
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;

    // A note shown while the pointer rests on the control (UTF-8); empty
    // removes it.
    void SetToolTip(const std::string& text);

    // The control's id in its dialog, kNoControlId while loose.
    int GetDlgCtrlID() const;

    // Framework use: binds the object to a control of a window (non-owning;
    // the window owns the control) or, with null, lets it loose.
    void AttachItem(DialogItem* item) { m_pItem = item; }
    DialogItem* GetItem() const { return m_pItem; }

protected:
    DialogItem* m_pItem = nullptr;  // not owned
};
