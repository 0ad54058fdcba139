// The application object of a console program on Win32: the console speaks
// UTF-8, the event loop's own window exists before InitInstance, and the
// Help file's place is told rather than opened.
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "WideText.h"
#include "WinApp.h"

#include "LoopWindow.h"

namespace {

constexpr const wchar_t* kHelpFileName = L"readme.txt";

std::filesystem::path ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

void CWinApp::OnHelp() {
    const std::filesystem::path helpFile = ProgramPath().parent_path() / kHelpFileName;
    std::fprintf(stderr, "%s: see %s\n", m_pszAppName, NarrowToUtf8(helpFile.wstring()).c_str());
}

int AfxWinMain(int, char**) {
    CWinApp* const app = AfxGetApp();
    if (app == nullptr) {
        std::fprintf(stderr, "no application object\n");
        return 1;
    }
    // The program's texts are UTF-8, Russian among them.
    SetConsoleOutputCP(CP_UTF8);
    if (app->m_pszAppName == nullptr) {
        app->m_appName = NarrowToUtf8(ProgramPath().stem().wstring());
        app->m_pszAppName = app->m_appName.c_str();
    }
    CreateConsoleLoopWindow();
    if (app->InitInstance() == FALSE) {
        return 0;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
