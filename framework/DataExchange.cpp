#include "DataExchange.h"

#include "Control.h"
#include "Dialog.h"
#include "DialogItem.h"

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
    if (exchange->m_bSaveAndValidate) {
        value = ItemText(*item).toStdString();
    } else {
        SetItemText(*item, QString::fromStdString(value));
    }
}
