// The application object on Win32: the common controls, the keys every
// window shares, the Help file.
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <filesystem>

#include "ApplicationStart.h"
#include "ProgramPath.h"
#include "WideText.h"
#include "WinApp.h"

namespace {

constexpr const wchar_t* kHelpFileName = L"readme.txt";

// Bit 30 of a key message's lParam: the key was already down, so this press
// is the keyboard repeating a held key.
constexpr LPARAM kKeyWasDown = LPARAM{1} << 30;

std::string ProgramName() {
    return NarrowToUtf8(ProgramPath().stem().wstring());
}

// A key held down after it closed one window must not go on to press the
// default button of the next: the repeats of the Enter that pressed OK in the
// port dialog would otherwise press "Выход" in the update dialog and then
// close the warning before the operator had seen it. Every modal loop of the
// program (dialogs, message boxes) hands its messages here first.
LRESULT CALLBACK DropHeldEnterAndEsc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const auto* message = reinterpret_cast<const MSG*>(lParam);
        if (message->message == WM_KEYDOWN &&
            (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE) &&
            (message->lParam & kKeyWasDown) != 0) {
            return TRUE;  // taken: the loop drops it
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void CWinApp::OnHelp() {
    const std::filesystem::path helpFile = ProgramPath().parent_path() / kHelpFileName;
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", helpFile.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    // ShellExecute reports success with a value above 32.
    constexpr INT_PTR kShellExecuteErrorLimit = 32;
    if (opened <= kShellExecuteErrorLimit) {
        std::fprintf(stderr, "%s: cannot open the help file %s\n", m_pszAppName,
                     NarrowToUtf8(helpFile.wstring()).c_str());
    }
}

int AfxWinMain(int, char**) {
    CWinApp* const app = ApplicationToStart();
    if (app == nullptr) {
        return 1;
    }
    NameApplication(*app, &ProgramName);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                     ICC_TAB_CLASSES;  // the last: tool tips
    InitCommonControlsEx(&controls);
    HHOOK keys =
        SetWindowsHookExW(WH_MSGFILTER, &DropHeldEnterAndEsc, nullptr, GetCurrentThreadId());

    int exitCode = 0;
    if (app->InitInstance() != FALSE) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        exitCode = static_cast<int>(message.wParam);
    }
    if (keys != nullptr) {
        UnhookWindowsHookEx(keys);
    }
    return exitCode;
}
