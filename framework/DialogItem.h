// Framework-internal: one control of a dialog window as the platform sees it.
// The window owns the widget; control objects point at the item.
#pragma once

#include <QWidget>

#include "DialogTemplate.h"

struct DialogItem {
    int id = kNoControlId;
    DialogControlKind kind = DialogControlKind::Static;
    QWidget* widget = nullptr;    // owned by the dialog window
    int listColumns = 0;          // list view: columns inserted so far
    bool quietSelection = false;  // combo box: the framework itself changes the selection
};

// The item's text as the operator reads it, and the text set on it (UTF-8
// both): a static's line, a button's caption, a group box's title, a combo
// box's selected entry.
QString ItemText(const DialogItem& item);
void SetItemText(DialogItem& item, const QString& text);

// Changes the selection of a combo box without it counting as the
// operator's choice, for as long as it lives.
class QuietSelection {
public:
    explicit QuietSelection(DialogItem& item) : m_item(item) { m_item.quietSelection = true; }
    ~QuietSelection() { m_item.quietSelection = false; }
    QuietSelection(const QuietSelection&) = delete;
    QuietSelection& operator=(const QuietSelection&) = delete;

private:
    DialogItem& m_item;
};
