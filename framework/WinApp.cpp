#include "WinApp.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QUrl>
#include <cstdio>

namespace {

CWinApp* g_app = nullptr;  // the current application; not owned

constexpr const char* kHelpFileName = "readme.txt";

// F1 in any window of the program becomes the Help command.
class HelpKeyFilter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 && g_app != nullptr) {
            return g_app->OnCmdMsg(ID_HELP) != FALSE;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) {
    if (g_app == nullptr) {
        g_app = this;
    }
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL CWinApp::OnCmdMsg(UINT commandId) {
    const auto entry = m_commandMap.find(commandId);
    if (entry == m_commandMap.end()) {
        return FALSE;
    }
    entry->second();
    return TRUE;
}

void CWinApp::MapCommand(UINT commandId, std::function<void()> handler) {
    m_commandMap[commandId] = std::move(handler);
}

void CWinApp::OnHelp() {
    const QString helpFile = QDir(QCoreApplication::applicationDirPath()).filePath(kHelpFileName);
    if (!QFileInfo::exists(helpFile) || !QDesktopServices::openUrl(QUrl::fromLocalFile(helpFile))) {
        std::fprintf(stderr, "%s: cannot open the help file %s\n", m_pszAppName,
                     helpFile.toLocal8Bit().constData());
    }
}

CWinApp* AfxGetApp() {
    return g_app;
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* const app = g_app;
    if (app == nullptr) {
        std::fprintf(stderr, "no application object\n");
        return 1;
    }
    QApplication application(argc, argv);
    // The name captions the message boxes; by default the program file's.
    if (app->m_pszAppName == nullptr) {
        app->m_appName = QCoreApplication::applicationName().toStdString();
        app->m_pszAppName = app->m_appName.c_str();
    } else {
        QCoreApplication::setApplicationName(QString::fromUtf8(app->m_pszAppName));
    }
    HelpKeyFilter helpKeys;
    application.installEventFilter(&helpKeys);

    if (app->InitInstance() == FALSE) {
        return 0;
    }
    return QApplication::exec();
}
