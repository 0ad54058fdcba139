// Controls without windows: each call reads or changes the item's state and
// tells the console operator what changed, as a window would show it.
#include "Controls.h"

#include <algorithm>

#include "DialogItem.h"

BOOL CControl::EnableWindow(BOOL enable) {
    if (m_pItem == nullptr) {
        return FALSE;
    }
    const BOOL wasDisabled = m_pItem->enabled ? FALSE : TRUE;
    m_pItem->enabled = enable != FALSE;
    NotifyControlChanged(*m_pItem);
    return wasDisabled;
}

BOOL CControl::IsWindowEnabled() const {
    return m_pItem != nullptr && m_pItem->enabled ? TRUE : FALSE;
}

void CControl::SetWindowText(const std::string& text) {
    if (m_pItem == nullptr) {
        return;
    }
    if (m_pItem->kind == DialogControlKind::ComboBox) {
        // A drop-down list shows one of its entries: the one with this text.
        const auto entry = std::find(m_pItem->entries.begin(), m_pItem->entries.end(), text);
        m_pItem->selected =
            entry == m_pItem->entries.end() ? -1 : static_cast<int>(entry - m_pItem->entries.begin());
    } else {
        m_pItem->text = text;
    }
    NotifyControlChanged(*m_pItem);
}

std::string CControl::GetWindowText() const {
    if (m_pItem == nullptr) {
        return {};
    }
    if (m_pItem->kind == DialogControlKind::ComboBox) {
        return m_pItem->selected < 0 ? std::string()
                                     : m_pItem->entries[static_cast<std::size_t>(m_pItem->selected)];
    }
    return m_pItem->text;
}

void CControl::SetToolTip(const std::string& text) {
    if (m_pItem != nullptr) {
        m_pItem->toolTip = text;
        NotifyControlChanged(*m_pItem);
    }
}

int CControl::GetDlgCtrlID() const {
    return m_pItem == nullptr ? kNoControlId : m_pItem->id;
}

int CComboBox::AddString(const std::string& text) {
    if (m_pItem == nullptr) {
        return CB_ERR;
    }
    m_pItem->entries.push_back(text);
    return static_cast<int>(m_pItem->entries.size()) - 1;
}

int CComboBox::GetCount() const {
    return m_pItem == nullptr ? CB_ERR : static_cast<int>(m_pItem->entries.size());
}

int CComboBox::SetCurSel(int index) {
    if (m_pItem == nullptr || index < -1 || index >= static_cast<int>(m_pItem->entries.size())) {
        return CB_ERR;
    }
    m_pItem->selected = index;
    return index == -1 ? CB_ERR : index;
}

int CComboBox::GetCurSel() const {
    return m_pItem == nullptr ? CB_ERR : m_pItem->selected;
}

int CComboBox::GetLBText(int index, std::string& text) const {
    if (m_pItem == nullptr || index < 0 || index >= static_cast<int>(m_pItem->entries.size())) {
        return CB_ERR;
    }
    text = m_pItem->entries[static_cast<std::size_t>(index)];
    return static_cast<int>(text.size());
}

int CListCtrl::InsertColumn(int column, const std::string&, int, int) {
    if (m_pItem == nullptr || column < 0) {
        return -1;
    }
    const int index = std::min(column, m_pItem->columns);
    ++m_pItem->columns;
    for (std::vector<std::string>& row : m_pItem->rows) {
        row.insert(row.begin() + index, std::string());
    }
    return index;
}

int CListCtrl::InsertItem(int index, const std::string& text) {
    if (m_pItem == nullptr || index < 0) {
        return -1;
    }
    const int row = std::min(index, static_cast<int>(m_pItem->rows.size()));
    std::vector<std::string> texts(static_cast<std::size_t>(std::max(m_pItem->columns, 1)));
    texts[0] = text;
    m_pItem->rows.insert(m_pItem->rows.begin() + row, std::move(texts));
    NotifyControlChanged(*m_pItem);
    return row;
}

int CListCtrl::GetItemCount() const {
    return m_pItem == nullptr ? 0 : static_cast<int>(m_pItem->rows.size());
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    if (m_pItem == nullptr || item < 0 || item >= static_cast<int>(m_pItem->rows.size()) ||
        subItem < 0 || subItem >= m_pItem->columns) {
        return {};
    }
    return m_pItem->rows[static_cast<std::size_t>(item)][static_cast<std::size_t>(subItem)];
}

void CProgressCtrl::SetRange(short lower, short upper) {
    if (m_pItem != nullptr) {
        m_pItem->lower = lower;
        m_pItem->upper = upper;
        m_pItem->position = std::clamp(m_pItem->position, m_pItem->lower,
                                       std::max(m_pItem->lower, m_pItem->upper));
    }
}

int CProgressCtrl::SetPos(int position) {
    if (m_pItem == nullptr) {
        return 0;
    }
    const int previous = m_pItem->position;
    m_pItem->position = std::clamp(position, m_pItem->lower, std::max(m_pItem->lower, m_pItem->upper));
    NotifyControlChanged(*m_pItem);
    return previous;
}

int CProgressCtrl::GetPos() const {
    return m_pItem == nullptr ? 0 : m_pItem->position;
}
