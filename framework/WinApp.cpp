// The application object's part that is the same on every window system:
// being the current application, its name and routing commands. Starting
// the window system and the Help file are the platform's (WinAppRun.cpp).
#include "WinApp.h"

#include <cstdio>
#include <utility>

#include "ApplicationStart.h"

namespace {

CWinApp* g_app = nullptr;  // the current application; not owned

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

CWinApp* AfxGetApp() {
    return g_app;
}

CWinApp* ApplicationToStart() {
    if (g_app == nullptr) {
        std::fprintf(stderr, "no application object\n");
    }
    return g_app;
}

void NameApplication(CWinApp& app, std::string (*programName)()) {
    if (app.m_pszAppName == nullptr) {
        app.m_appName = programName();
        app.m_pszAppName = app.m_appName.c_str();
    }
}
