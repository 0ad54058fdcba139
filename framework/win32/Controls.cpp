// Controls on Win32: the control windows of the dialog manager and the
// common controls, addressed by their messages.
#include "Controls.h"

#include <commctrl.h>

#include <string>

#include "DialogItem.h"
#include "WideText.h"

namespace {

HWND HandleOf(const DialogItem* item, DialogControlKind kind) {
    return item != nullptr && item->kind == kind ? item->hwnd : nullptr;
}

LRESULT Send(HWND control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(control, message, wParam, lParam);
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A window for the control's note, owned by its dialog.
HWND CreateToolTip(const DialogItem& item) {
    HWND toolTip =
        CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetParent(item.hwnd), nullptr,
                        GetModuleHandleW(nullptr), nullptr);
    if (toolTip != nullptr) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = GetParent(item.hwnd);
        tool.uId = reinterpret_cast<UINT_PTR>(item.hwnd);
        tool.lpszText = const_cast<wchar_t*>(L"");
        Send(toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    return toolTip;
}

}  // namespace

BOOL CControl::EnableWindow(BOOL enable) {
    if (m_pItem == nullptr) {
        return FALSE;
    }
    return ::EnableWindow(m_pItem->hwnd, enable) != FALSE ? TRUE : FALSE;
}

BOOL CControl::IsWindowEnabled() const {
    // The control's own state, whatever its window's.
    return m_pItem != nullptr && ::IsWindowEnabled(m_pItem->hwnd) ? TRUE : FALSE;
}

void CControl::SetWindowText(const std::string& text) {
    if (m_pItem != nullptr) {
        ::SetWindowTextW(m_pItem->hwnd, WidenUtf8(text).c_str());
    }
}

std::string CControl::GetWindowText() const {
    return m_pItem == nullptr ? std::string() : NarrowToUtf8(WindowText(m_pItem->hwnd));
}

void CControl::SetToolTip(const std::string& text) {
    if (m_pItem == nullptr) {
        return;
    }
    if (m_pItem->toolTip == nullptr) {
        if (text.empty()) {
            return;
        }
        m_pItem->toolTip = CreateToolTip(*m_pItem);
    }
    std::wstring wide = WidenUtf8(text);
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = GetParent(m_pItem->hwnd);
    tool.uId = reinterpret_cast<UINT_PTR>(m_pItem->hwnd);
    tool.lpszText = wide.data();
    // An empty note shows nothing.
    Send(m_pItem->toolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

int CControl::GetDlgCtrlID() const {
    return m_pItem == nullptr ? kNoControlId : m_pItem->id;
}

int CComboBox::AddString(const std::string& text) {
    HWND combo = HandleOf(m_pItem, DialogControlKind::ComboBox);
    if (combo == nullptr) {
        return CB_ERR;
    }
    const std::wstring wide = WidenUtf8(text);
    return static_cast<int>(Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int CComboBox::GetCount() const {
    HWND combo = HandleOf(m_pItem, DialogControlKind::ComboBox);
    return combo == nullptr ? CB_ERR : static_cast<int>(Send(combo, CB_GETCOUNT));
}

int CComboBox::SetCurSel(int index) {
    HWND combo = HandleOf(m_pItem, DialogControlKind::ComboBox);
    if (combo == nullptr || index < -1 || index >= GetCount()) {
        return CB_ERR;
    }
    // The control tells the dialog nothing of a selection made here.
    return static_cast<int>(Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index)));
}

int CComboBox::GetCurSel() const {
    HWND combo = HandleOf(m_pItem, DialogControlKind::ComboBox);
    return combo == nullptr ? CB_ERR : static_cast<int>(Send(combo, CB_GETCURSEL));
}

int CComboBox::GetLBText(int index, std::string& text) const {
    HWND combo = HandleOf(m_pItem, DialogControlKind::ComboBox);
    if (combo == nullptr || index < 0 || index >= GetCount()) {
        return CB_ERR;
    }
    const LRESULT length = Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) {
        return CB_ERR;
    }
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                reinterpret_cast<LPARAM>(wide.data()));
    wide.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    text = NarrowToUtf8(wide);
    return static_cast<int>(text.size());
}

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width) {
    HWND list = HandleOf(m_pItem, DialogControlKind::ListView);
    if (list == nullptr || column < 0) {
        return -1;
    }
    std::wstring wide = WidenUtf8(heading);
    LVCOLUMNW entry{};
    entry.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | (width >= 0 ? LVCF_WIDTH : 0);
    entry.fmt = format;
    entry.cx = width;
    entry.pszText = wide.data();
    entry.iSubItem = column;
    return static_cast<int>(Send(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                                 reinterpret_cast<LPARAM>(&entry)));
}

int CListCtrl::InsertItem(int index, const std::string& text) {
    HWND list = HandleOf(m_pItem, DialogControlKind::ListView);
    if (list == nullptr || index < 0) {
        return -1;
    }
    std::wstring wide = WidenUtf8(text);
    LVITEMW entry{};
    entry.mask = LVIF_TEXT;
    entry.iItem = index;
    entry.pszText = wide.data();
    return static_cast<int>(Send(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&entry)));
}

int CListCtrl::GetItemCount() const {
    HWND list = HandleOf(m_pItem, DialogControlKind::ListView);
    return list == nullptr ? 0 : static_cast<int>(Send(list, LVM_GETITEMCOUNT));
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    HWND list = HandleOf(m_pItem, DialogControlKind::ListView);
    if (list == nullptr || item < 0 || item >= GetItemCount() || subItem < 0) {
        return {};
    }
    // The control copies no more than the buffer holds: grow it until the
    // text fits with room to spare.
    std::wstring wide(256, L'\0');
    for (;;) {
        LVITEMW entry{};
        entry.iSubItem = subItem;
        entry.pszText = wide.data();
        entry.cchTextMax = static_cast<int>(wide.size());
        const auto copied = static_cast<std::size_t>(Send(
            list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&entry)));
        if (copied + 1 < wide.size()) {
            wide.resize(copied);
            return NarrowToUtf8(wide);
        }
        wide.resize(wide.size() * 2);
    }
}

void CProgressCtrl::SetRange(short lower, short upper) {
    if (HWND bar = HandleOf(m_pItem, DialogControlKind::ProgressBar)) {
        Send(bar, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
    }
}

int CProgressCtrl::SetPos(int position) {
    HWND bar = HandleOf(m_pItem, DialogControlKind::ProgressBar);
    // The bar keeps the position inside its range itself.
    return bar == nullptr ? 0
                          : static_cast<int>(Send(bar, PBM_SETPOS, static_cast<WPARAM>(position)));
}

int CProgressCtrl::GetPos() const {
    HWND bar = HandleOf(m_pItem, DialogControlKind::ProgressBar);
    return bar == nullptr ? 0 : static_cast<int>(Send(bar, PBM_GETPOS));
}
