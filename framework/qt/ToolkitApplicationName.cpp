#include "ToolkitApplicationName.h"

#include <QCoreApplication>
#include <QString>
#include <string>

#include "ApplicationStart.h"
#include "WinApp.h"

namespace {

std::string ToolkitProgramName() {
    return QCoreApplication::applicationName().toStdString();
}

}  // namespace

void NameToolkitApplication(CWinApp& app) {
    NameApplication(app, &ToolkitProgramName);
    QCoreApplication::setApplicationName(QString::fromUtf8(app.m_pszAppName));
}
