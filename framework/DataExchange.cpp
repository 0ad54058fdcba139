#include "DataExchange.h"

#include "Control.h"
#include "Dialog.h"

void DDX_Control(CDataExchange* exchange, int controlId, CControl& control) {
    DialogItem* item = exchange->m_pDlgWnd->FindItem(controlId);
    if (item != nullptr && control.GetItem() != item) {
        exchange->m_pDlgWnd->BindControl(control, *item);
    }
}

void DDX_Text(CDataExchange* exchange, int controlId, std::string& value) {
    DialogItem* item = exchange->m_pDlgWnd->FindItem(controlId);
    if (item == nullptr) {
        return;
    }
    // The text goes through a control object of its own, so the exchange
    // reads and writes exactly as the program's own calls on the control.
    CControl control;
    control.AttachItem(item);
    if (exchange->m_bSaveAndValidate) {
        value = control.GetWindowText();
    } else {
        control.SetWindowText(value);
    }
}
