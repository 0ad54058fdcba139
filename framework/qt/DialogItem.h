// Framework-internal: one control of a dialog window as the platform sees it.
// The window owns the widget; control objects point at the item.
#pragma once

#include <QLabel>
#include <QRect>
#include <QWidget>

#include "DialogTemplate.h"

struct DialogItem {
    int id = kNoControlId;
    DialogControlKind kind = DialogControlKind::Static;
    QWidget* widget = nullptr;    // owned by the dialog window
    QRect place;                  // where the template puts it, in pixels
    int listColumns = 0;          // list view: columns inserted so far
    bool quietSelection = false;  // combo box: the framework itself changes the selection
};

// The item's text as the operator reads it, and the text set on it (UTF-8
// both): a static's line, a button's caption, a group box's title, a combo
// box's selected entry.
QString ItemText(const DialogItem& item);
void SetItemText(DialogItem& item, const QString& text);

// A static text at least as tall as `place`, and taller when its wrapped
// lines need it and the room below is free: down to the next control under
// it or the bottom of the frame around it. Texts that the program sets at
// run time may be longer than the template's placeholder.
void FitTextToRoom(QLabel& label, const QRect& place);

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
