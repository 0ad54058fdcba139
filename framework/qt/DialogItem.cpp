#include "DialogItem.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <algorithm>

namespace {
// The width of a group box's frame line and the gap inside it.
constexpr int kFrameInsetPixels = 3;
}  // namespace

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
        FitTextToRoom(*label, item.place);
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

void FitTextToRoom(QLabel& label, const QRect& place) {
    const QWidget* window = label.parentWidget();
    int needed = label.heightForWidth(place.width());
    if (window == nullptr || !label.wordWrap() || needed <= place.height()) {
        label.setGeometry(place);
        return;
    }
    int bottom = window->height();
    for (const QObject* child : window->children()) {
        const auto* other = qobject_cast<const QWidget*>(child);
        if (other == nullptr || other == &label) {
            continue;
        }
        const QRect room = other->geometry();
        const bool sharesColumn = room.left() < place.right() && room.right() > place.left();
        if (qobject_cast<const QGroupBox*>(other) != nullptr && room.contains(place.topLeft())) {
            bottom = std::min(bottom, room.bottom() - kFrameInsetPixels);
        } else if (sharesColumn && room.top() > place.bottom()) {
            bottom = std::min(bottom, room.top());
        }
    }
    needed = std::min(needed, bottom - place.top());
    label.setGeometry(place.x(), place.y(), place.width(), std::max(place.height(), needed));
}
