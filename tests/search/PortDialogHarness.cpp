#include "PortDialogHarness.h"

#include <QPushButton>
#include <memory>

namespace {
constexpr int kWatchPeriodMs = 10;
}

void TestPortDlg::WatchUntil(std::function<bool()> check, int limitMs,
                             std::function<void(bool)> then) {
    auto* watch = new QTimer();
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    QObject::connect(watch, &QTimer::timeout, [=, this] {
        const bool met = check();
        if (met || Clock::now() >= deadline) {
            watch->stop();
            watch->deleteLater();
            then(met);
        }
    });
    watch->start(kWatchPeriodMs);
}

void TestPortDlg::ExitAfter(int ms) {
    QTimer::singleShot(ms, [this] {
        if (GetSafeHwnd() != nullptr) {
            EndDialog(IDCANCEL);
        }
    });
}

BOOL TestPortDlg::OnInitDialog() {
    starting = Clock::now();
    const BOOL result = CPortDlg::OnInitDialog();
    if (onRunning) {
        QTimer::singleShot(0, [this] { onRunning(*this); });
    }
    return result;
}

void TestPortDlg::OnTimer(UINT_PTR id) {
    CPortDlg::OnTimer(id);
    okWasEnabled = okWasEnabled || OkEnabled();
}

PortDialogFixture::PortDialogFixture() {
    image.LoadFromResource();
    dialog.m_pSerial = &serial;
    dialog.m_pDeviceInfo = &info;
    dialog.m_pImage = &image;
}
