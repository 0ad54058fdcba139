// Keeping the toolkit's events coming for a while, for the windowed and the
// console program alike: a nested loop that a single-shot timer ends.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "PlatformMessageBox.h"

void KeepEventsRunningFor(int durationMs) {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(durationMs, &loop, &QEventLoop::quit);
    loop.exec();
}
