// Finding a running dialog and its controls from a test: a dialog's window
// is named after its template id, a control's widget after its id.
#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>

#include "winapi_types.h"

// The top-level window of the running dialog with this template id.
inline QWidget* RunningDialogWindow(UINT templateId) {
    const QString name = QStringLiteral("dialog%1").arg(templateId);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == name) {
            return widget;
        }
    }
    return nullptr;
}

// The widget of control `controlId` in that dialog; null when either is missing.
template <class Widget>
Widget* ControlWidget(UINT templateId, int controlId) {
    QWidget* window = RunningDialogWindow(templateId);
    return window == nullptr ? nullptr : window->findChild<Widget*>(QString::number(controlId));
}
