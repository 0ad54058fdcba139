// Message boxes on Qt.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>

#include "DialogResults.h"
#include "PlatformMessageBox.h"

namespace {

constexpr UINT kIconBits = 0xF0;  // the icon part of a box type

QMessageBox::Icon IconForType(UINT type) {
    switch (type & kIconBits) {
        case MB_ICONSTOP:
            return QMessageBox::Critical;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

int ShowMessageBox(std::string_view text, UINT type) {
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        // No widgets to show it with: the text must still reach someone.
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return AsksYesNo(type) ? IDNO : IDOK;
    }
    if (AsksYesNo(type)) {
        QMessageBox box(IconForType(type), QGuiApplication::applicationDisplayName(), message,
                        QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    QMessageBox box(IconForType(type), QGuiApplication::applicationDisplayName(), message,
                    QMessageBox::Ok);
    box.exec();  // nested loop: timers and port notifications keep coming
    return IDOK;
}
