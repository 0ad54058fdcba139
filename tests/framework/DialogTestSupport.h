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
#include "ScriptedDialog.h"

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
