// The application object of a console program: the toolkit's core
// application (no windows) and the Help file's place.
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "ApplicationStart.h"
#include "WinApp.h"
#include "qt/ToolkitApplicationName.h"

namespace {

constexpr const char* kHelpFileName = "readme.txt";

}  // namespace

void CWinApp::OnHelp() {
    // No viewer to open it in: say where it is.
    const QString helpFile = QDir(QCoreApplication::applicationDirPath()).filePath(kHelpFileName);
    std::fprintf(stderr, "%s: see %s\n", m_pszAppName, helpFile.toLocal8Bit().constData());
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* const app = ApplicationToStart();
    if (app == nullptr) {
        return 1;
    }
    QCoreApplication application(argc, argv);
    NameToolkitApplication(*app);
    if (app->InitInstance() == FALSE) {
        return 0;
    }
    return QCoreApplication::exec();
}
