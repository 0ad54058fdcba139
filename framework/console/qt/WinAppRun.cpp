// The application object of a console program: the toolkit's core
// application (no windows) and the Help file's place.
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "WinApp.h"

namespace {

constexpr const char* kHelpFileName = "readme.txt";

}  // namespace

void CWinApp::OnHelp() {
    // No viewer to open it in: say where it is.
    const QString helpFile = QDir(QCoreApplication::applicationDirPath()).filePath(kHelpFileName);
    std::fprintf(stderr, "%s: see %s\n", m_pszAppName, helpFile.toLocal8Bit().constData());
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* const app = AfxGetApp();
    if (app == nullptr) {
        std::fprintf(stderr, "no application object\n");
        return 1;
    }
    QCoreApplication application(argc, argv);
    if (app->m_pszAppName == nullptr) {
        app->m_appName = QCoreApplication::applicationName().toStdString();
        app->m_pszAppName = app->m_appName.c_str();
    } else {
        QCoreApplication::setApplicationName(QString::fromUtf8(app->m_pszAppName));
    }
    if (app->InitInstance() == FALSE) {
        return 0;
    }
    return QCoreApplication::exec();
}
