// The kinds of control the dialogs bind: status lines, buttons, the port
// list, the update log and the progress bar.
#pragma once

#include <string>

#include "Control.h"
// CB_ERR (combo box: no such entry, or nothing selected) and the LVCFMT_
// column alignments.
#include "winapi_dialog_codes.h"

class CStatic : public CControl {};

class CButton : public CControl {};

// A drop-down list of texts, unsorted.
class CComboBox : public CControl {
public:
    // Appends an entry; returns its index, or CB_ERR while loose.
    int AddString(const std::string& text);
    int GetCount() const;
    // Selects entry `index` without notifying the dialog (as the operator's
    // choice would); -1 clears the selection. Returns the index, or CB_ERR
    // when the index is out of range.
    int SetCurSel(int index);
    int GetCurSel() const;
    // Copies entry `index` into `text`; returns its length in bytes, or
    // CB_ERR (text unchanged) when there is no such entry.
    int GetLBText(int index, std::string& text) const;
};

// A list of rows under column headings (report view).
class CListCtrl : public CControl {
public:
    // Inserts a column at `column`; `format` is an LVCFMT_ value, `width` in
    // pixels. Returns the column's index, or -1 while loose.
    int InsertColumn(int column, const std::string& heading, int format = LVCFMT_LEFT,
                     int width = -1);
    // Inserts a row with `text` in its first column at `index` (appended when
    // past the end). Returns the row's index, or -1 while loose.
    int InsertItem(int index, const std::string& text);
    int GetItemCount() const;
    // The text of row `item`, column `subItem`; empty when there is none.
    std::string GetItemText(int item, int subItem) const;
};

// A bar that fills from the lower to the upper end of its range.
class CProgressCtrl : public CControl {
public:
    void SetRange(short lower, short upper);
    // Moves the bar (clamped to the range); returns the previous position.
    int SetPos(int position);
    int GetPos() const;
};
