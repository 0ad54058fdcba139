#include "MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <cstdio>

#include "SessionEvents.h"

namespace {

MessageBoxOperator* g_operator = nullptr;  // the installed stand-in, if any

constexpr UINT kIconBits = 0xF0;    // the icon part of a box type
constexpr UINT kButtonBits = 0x0F;  // the buttons part of a box type

bool AsksYesNo(UINT type) {
    return (type & kButtonBits) == MB_YESNO;
}

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

int AfxMessageBox(std::string_view text, UINT type) {
    CurrentSession().OnMessageBox(text);
    if (g_operator != nullptr) {
        return g_operator->Answer(text, type);
    }
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

MessageBoxOperator::MessageBoxOperator(int answerDelayMs)
    : m_answerDelayMs(answerDelayMs), m_previous(g_operator) {
    g_operator = this;
}

MessageBoxOperator::~MessageBoxOperator() {
    g_operator = m_previous;
}

int MessageBoxOperator::Answer(std::string_view text, UINT type) {
    m_shown.push_back({std::string(text), type});
    if (m_answerDelayMs > 0 && QCoreApplication::instance() != nullptr) {
        QEventLoop loop;
        QTimer::singleShot(m_answerDelayMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return AsksYesNo(type) ? m_yesNoAnswer : IDOK;
}
