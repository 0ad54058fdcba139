// Renders the port dialog (searching, found) and the About box to PNG files
// so that a person can look at them: run against the simulated instrument
// on COM1 (scripts/render-dialogs.sh starts one).
//
//   render_dialogs OUTPUT_DIR
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <string>

#include "AboutDlg.h"
#include "AccessCode.h"
#include "CommandSet.h"
#include "DialogResults.h"
#include "FirmwareImage.h"
#include "PortDlg.h"
#include "SerialCWnd.h"

namespace {

constexpr int kWatchPeriodMs = 10;
constexpr int kSearchingShotMs = 120;  // at 4800, before any reply could hold the rate
constexpr int kFoundLimitMs = 5000;
constexpr int kHelpButtonId = 1167;

QWidget* DialogWindow(UINT templateId) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("dialog%1").arg(templateId) &&
            widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

bool Save(UINT templateId, const QString& path) {
    QWidget* window = DialogWindow(templateId);
    const bool saved = window != nullptr && window->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

class ShotPortDlg : public CPortDlg {
public:
    explicit ShotPortDlg(QString directory) : m_directory(std::move(directory)) {}
    bool allSaved = true;

protected:
    BOOL OnInitDialog() override {
        CPortDlg::OnInitDialog();
        QTimer::singleShot(kSearchingShotMs, [this] {
            allSaved = Save(132, m_directory + "/port-dialog-searching.png") && allSaved;
            WaitUntilFound(0);
        });
        return TRUE;
    }

private:
    void WaitUntilFound(int waitedMs) {
        if (GetDlgItem(IDOK)->IsWindowEnabled() == FALSE && waitedMs < kFoundLimitMs) {
            QTimer::singleShot(kWatchPeriodMs,
                               [this, waitedMs] { WaitUntilFound(waitedMs + kWatchPeriodMs); });
            return;
        }
        allSaved = Save(132, m_directory + "/port-dialog-found.png") && allSaved;
        // The About box over the running search, as "Справка" shows it.
        QTimer::singleShot(200, [this] {
            allSaved = Save(148, m_directory + "/about-box.png") && allSaved;
            DialogWindow(148)->close();
            QTimer::singleShot(0, [this] { EndDialog(IDCANCEL); });
        });
        DialogWindow(132)->findChild<QPushButton*>(QString::number(kHelpButtonId))->click();
    }

    QString m_directory;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_dialogs OUTPUT_DIR\n");
        return 2;
    }
    CSerialCWnd serial;
    DeviceInfo info;
    CFirmwareImage image(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!image.LoadFromResource()) {
        return 1;
    }
    ShotPortDlg dialog(QString::fromLocal8Bit(argv[1]));
    dialog.m_pSerial = &serial;
    dialog.m_pDeviceInfo = &info;
    dialog.m_pImage = &image;
    dialog.DoModal();
    return dialog.allSaved ? 0 : 1;
}
