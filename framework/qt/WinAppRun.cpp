// The application object on Qt: the toolkit's application, the keys every
// window shares, the Help file.
#include "ApplicationStart.h"
#include "WinApp.h"
#include "qt/ToolkitApplicationName.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QUrl>
#include <cstdio>

namespace {

constexpr const char* kHelpFileName = "readme.txt";

// The keys that every window of the program treats alike.
class ProgramKeyFilter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
            return QObject::eventFilter(watched, event);
        }
        const auto* key = static_cast<const QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
                return IsRepeat(*key);
            case Qt::Key_F1:
                // F1 is the Help command.
                return event->type() == QEvent::KeyPress && AfxGetApp() != nullptr &&
                       AfxGetApp()->OnCmdMsg(ID_HELP) != FALSE;
            default:
                return false;
        }
    }

private:
    // A key held down after it closed one window must not go on to press
    // the default button of the next: the repeats of the Enter that pressed
    // OK in the port dialog would otherwise press "Выход" in the update
    // dialog and then close the warning before the operator had seen it.
    // The keyboard repeats a held key as a release and a press with one
    // time stamp; the toolkit flags most of them, and the time stamp catches
    // the pairs that reach it split.
    bool IsRepeat(const QKeyEvent& key) {
        if (key.type() == QEvent::KeyRelease) {
            m_lastReleasedKey = key.key();
            m_lastReleaseTime = key.timestamp();
            return key.isAutoRepeat();
        }
        return key.isAutoRepeat() ||
               (key.key() == m_lastReleasedKey && key.timestamp() == m_lastReleaseTime);
    }

    int m_lastReleasedKey = 0;
    quint64 m_lastReleaseTime = 0;  // the window system's time stamp, in milliseconds
};

}  // namespace

void CWinApp::OnHelp() {
    const QString helpFile = QDir(QCoreApplication::applicationDirPath()).filePath(kHelpFileName);
    if (!QFileInfo::exists(helpFile) || !QDesktopServices::openUrl(QUrl::fromLocalFile(helpFile))) {
        std::fprintf(stderr, "%s: cannot open the help file %s\n", m_pszAppName,
                     helpFile.toLocal8Bit().constData());
    }
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* const app = ApplicationToStart();
    if (app == nullptr) {
        return 1;
    }
    QApplication application(argc, argv);
    NameToolkitApplication(*app);
    ProgramKeyFilter keys;
    application.installEventFilter(&keys);

    if (app->InitInstance() == FALSE) {
        return 0;
    }
    return QApplication::exec();
}
