// Drives a running dialog from a test: the widget of a control by its id,
// keys as the operator presses them, and a dialog whose start-up and timer
// ticks the test scripts.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "Dialog.h"
#include "RunningDialog.h"

// Presses and releases `key` on the window that has the keyboard focus.
inline void PressKey(QWidget* window, int key) {
    QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// Runs `action` once the dialog's loop runs.
inline void WhenRunning(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

// A dialog on any template whose start-up, data exchange and timer ticks a
// test supplies.
class ScriptedDialog : public CDialog {
public:
    explicit ScriptedDialog(UINT templateId) : CDialog(templateId) {}

    std::function<void(ScriptedDialog&)> onInit;
    std::function<void(CDataExchange*)> exchange;
    std::function<void(ScriptedDialog&, UINT_PTR)> onTimer;
    std::vector<UINT_PTR> ticks;

    // The protected services, opened up for the tests.
    using CDialog::MapButtonClicked;
    using CDialog::MapMessage;
    using CDialog::MapSelectionChanged;
    using CDialog::OnCancel;
    using CDialog::OnOK;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (onInit) {
            onInit(*this);
        }
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        if (exchange) {
            exchange(dx);
        }
    }
    void OnTimer(UINT_PTR id) override {
        ticks.push_back(id);
        if (onTimer) {
            onTimer(*this, id);
        }
        CDialog::OnTimer(id);
    }
};
