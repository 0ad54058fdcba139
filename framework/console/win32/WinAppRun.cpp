// The application object of a console program on Win32: the console speaks
// UTF-8, the event loop's own window exists before InitInstance, and the
// Help file's place is told rather than opened.
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "ApplicationStart.h"
#include "LoopWindow.h"
#include "ProgramPath.h"
#include "WideText.h"
#include "WinApp.h"

namespace {

constexpr const wchar_t* kHelpFileName = L"readme.txt";

std::string ProgramName() {
    return NarrowToUtf8(ProgramPath().stem().wstring());
}

}  // namespace

void CWinApp::OnHelp() {
    const std::filesystem::path helpFile = ProgramPath().parent_path() / kHelpFileName;
    std::fprintf(stderr, "%s: see %s\n", m_pszAppName, NarrowToUtf8(helpFile.wstring()).c_str());
}

int AfxWinMain(int, char**) {
    CWinApp* const app = ApplicationToStart();
    if (app == nullptr) {
        return 1;
    }
    NameApplication(*app, &ProgramName);
    // The program's texts are UTF-8, Russian among them.
    SetConsoleOutputCP(CP_UTF8);
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
