// Data exchange between a dialog's members and its controls. A dialog's
// DoDataExchange lists its bindings once; UpdateData(FALSE) runs them towards
// the controls (show), UpdateData(TRUE) back into the members (take).
#pragma once

#include <string>

#include "winapi_types.h"

class CDialog;
class CControl;

class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

    BOOL m_bSaveAndValidate;  // TRUE: controls -> members; FALSE: members -> controls
    CDialog* m_pDlgWnd;       // not owned
};

// Binds `control` to the dialog's control `controlId` (both directions).
void DDX_Control(CDataExchange* exchange, int controlId, CControl& control);

// Exchanges the text of control `controlId` with `value` (UTF-8).
void DDX_Text(CDataExchange* exchange, int controlId, std::string& value);
