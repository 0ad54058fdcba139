#include "Controls.h"

#include <QComboBox>
#include <QHeaderView>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>

#include "DialogItem.h"

namespace {

template <class Widget>
Widget* WidgetOf(DialogItem* item) {
    return item == nullptr ? nullptr : qobject_cast<Widget*>(item->widget);
}

}  // namespace

BOOL CControl::EnableWindow(BOOL enable) {
    if (m_pItem == nullptr) {
        return FALSE;
    }
    const BOOL wasDisabled = IsWindowEnabled() ? FALSE : TRUE;
    m_pItem->widget->setEnabled(enable != FALSE);
    return wasDisabled;
}

BOOL CControl::IsWindowEnabled() const {
    // The control's own state, whatever its window's.
    return m_pItem != nullptr && !m_pItem->widget->testAttribute(Qt::WA_Disabled) ? TRUE : FALSE;
}

void CControl::SetWindowText(const std::string& text) {
    if (m_pItem != nullptr) {
        SetItemText(*m_pItem, QString::fromStdString(text));
    }
}

std::string CControl::GetWindowText() const {
    return m_pItem == nullptr ? std::string() : ItemText(*m_pItem).toStdString();
}

void CControl::SetToolTip(const std::string& text) {
    if (m_pItem != nullptr) {
        m_pItem->widget->setToolTip(QString::fromStdString(text));
    }
}

int CControl::GetDlgCtrlID() const {
    return m_pItem == nullptr ? kNoControlId : m_pItem->id;
}

int CComboBox::AddString(const std::string& text) {
    auto* combo = WidgetOf<QComboBox>(m_pItem);
    if (combo == nullptr) {
        return CB_ERR;
    }
    QuietSelection quiet(*m_pItem);
    const int selected = combo->currentIndex();
    combo->addItem(QString::fromStdString(text));
    // A new entry selects nothing by itself (a list's first entry would).
    combo->setCurrentIndex(selected);
    return combo->count() - 1;
}

int CComboBox::GetCount() const {
    const auto* combo = WidgetOf<QComboBox>(m_pItem);
    return combo == nullptr ? CB_ERR : combo->count();
}

int CComboBox::SetCurSel(int index) {
    auto* combo = WidgetOf<QComboBox>(m_pItem);
    if (combo == nullptr || index < -1 || index >= combo->count()) {
        return CB_ERR;
    }
    QuietSelection quiet(*m_pItem);
    combo->setCurrentIndex(index);
    return index == -1 ? CB_ERR : index;
}

int CComboBox::GetCurSel() const {
    const auto* combo = WidgetOf<QComboBox>(m_pItem);
    return combo == nullptr ? CB_ERR : combo->currentIndex();
}

int CComboBox::GetLBText(int index, std::string& text) const {
    const auto* combo = WidgetOf<QComboBox>(m_pItem);
    if (combo == nullptr || index < 0 || index >= combo->count()) {
        return CB_ERR;
    }
    text = combo->itemText(index).toStdString();
    return static_cast<int>(text.size());
}

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width) {
    auto* list = WidgetOf<QTreeWidget>(m_pItem);
    if (list == nullptr || column < 0) {
        return -1;
    }
    const int index = std::min(column, m_pItem->listColumns);
    ++m_pItem->listColumns;
    list->setColumnCount(m_pItem->listColumns);
    QTreeWidgetItem* header = list->headerItem();
    // Later columns move right, headings and texts with them.
    for (int moved = m_pItem->listColumns - 1; moved > index; --moved) {
        header->setText(moved, header->text(moved - 1));
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = list->topLevelItem(row);
            item->setText(moved, item->text(moved - 1));
        }
    }
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        list->topLevelItem(row)->setText(index, QString());
    }
    header->setText(index, QString::fromStdString(heading));
    const Qt::Alignment alignment = format == LVCFMT_RIGHT    ? Qt::AlignRight
                                    : format == LVCFMT_CENTER ? Qt::AlignHCenter
                                                              : Qt::AlignLeft;
    header->setTextAlignment(index, alignment | Qt::AlignVCenter);
    if (width >= 0) {
        list->header()->resizeSection(index, width);
    }
    return index;
}

int CListCtrl::InsertItem(int index, const std::string& text) {
    auto* list = WidgetOf<QTreeWidget>(m_pItem);
    if (list == nullptr || index < 0) {
        return -1;
    }
    const int row = std::min(index, list->topLevelItemCount());
    auto* item = new QTreeWidgetItem();
    item->setText(0, QString::fromStdString(text));
    list->insertTopLevelItem(row, item);  // the list takes the item
    return row;
}

int CListCtrl::GetItemCount() const {
    const auto* list = WidgetOf<QTreeWidget>(m_pItem);
    return list == nullptr ? 0 : list->topLevelItemCount();
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    const auto* list = WidgetOf<QTreeWidget>(m_pItem);
    if (list == nullptr || item < 0 || item >= list->topLevelItemCount() || subItem < 0 ||
        subItem >= m_pItem->listColumns) {
        return {};
    }
    return list->topLevelItem(item)->text(subItem).toStdString();
}

void CProgressCtrl::SetRange(short lower, short upper) {
    if (auto* bar = WidgetOf<QProgressBar>(m_pItem)) {
        bar->setRange(lower, upper);
    }
}

int CProgressCtrl::SetPos(int position) {
    auto* bar = WidgetOf<QProgressBar>(m_pItem);
    if (bar == nullptr) {
        return 0;
    }
    const int previous = bar->value();
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    return previous;
}

int CProgressCtrl::GetPos() const {
    const auto* bar = WidgetOf<QProgressBar>(m_pItem);
    return bar == nullptr ? 0 : bar->value();
}
