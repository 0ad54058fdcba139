// Framework-internal: one control of a dialog window as the Win32 side sees
// it. The dialog manager owns the control's window; control objects point at
// the item, which the running dialog owns.
#pragma once

#include <windows.h>

#include "DialogTemplate.h"

struct DialogItem {
    int id = kNoControlId;
    DialogControlKind kind = DialogControlKind::Static;
    HWND hwnd = nullptr;     // the control's window
    HWND toolTip = nullptr;  // its note's window once it has one; owned by the dialog window
};
