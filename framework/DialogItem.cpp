#include "DialogItem.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

QString ItemText(const DialogItem& item) {
    if (const auto* label = qobject_cast<const QLabel*>(item.widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(item.widget)) {
        return button->text();
    }
    if (const auto* frame = qobject_cast<const QGroupBox*>(item.widget)) {
        return frame->title();
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(item.widget)) {
        return combo->currentText();
    }
    return {};
}

void SetItemText(DialogItem& item, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(item.widget)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(item.widget)) {
        button->setText(text);
    } else if (auto* frame = qobject_cast<QGroupBox*>(item.widget)) {
        frame->setTitle(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(item.widget)) {
        // A drop-down list shows one of its entries: select the one with this
        // text, as the operator would, and tell nobody.
        QuietSelection quiet(item);
        combo->setCurrentIndex(combo->findText(text));
    }
}
