// Message boxes on Win32: the system's own, whose modal loop keeps the
// dialog's timers and the port's posted notifications coming.
#include <windows.h>

#include "PlatformMessageBox.h"
#include "WideText.h"
#include "WinApp.h"

namespace {

BOOL CALLBACK TakeFirstEnabled(HWND window, LPARAM found) {
    if (IsWindowVisible(window) && IsWindowEnabled(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The dialog running on this thread: its one visible top-level window that
// is enabled, as a modal run disables the dialogs beneath it. The active
// window would not do: it is null while another program has the
// foreground, which during a 40 s update is likely.
HWND RunningDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &TakeFirstEnabled, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool ProgramHasTheForeground() {
    DWORD process = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &process);
    return process == GetCurrentProcessId();
}

}  // namespace

int ShowMessageBox(std::string_view text, UINT type) {
    const CWinApp* app = AfxGetApp();
    const std::wstring caption =
        WidenUtf8(app != nullptr && app->m_pszAppName != nullptr ? app->m_pszAppName : "");
    // The running dialog owns the box and is disabled while it shows; with
    // no dialog the box holds off every window of the program. A yes/no
    // question has Yes as its default button (MB_DEFBUTTON1 is the zero bits).
    HWND owner = RunningDialog();
    const UINT modality = owner != nullptr ? MB_APPLMODAL : MB_TASKMODAL;
    // Windows does not hand the foreground to a program the operator has
    // left; the taskbar button then flashes until the operator comes back.
    if (owner != nullptr && !ProgramHasTheForeground()) {
        FLASHWINFO flash{sizeof flash, owner, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }
    return MessageBoxW(owner, WidenUtf8(text).c_str(), caption.c_str(),
                       type | MB_DEFBUTTON1 | modality | MB_SETFOREGROUND);
}

void KeepEventsRunningFor(int durationMs) {
    const UINT_PTR timer = SetTimer(nullptr, 0, static_cast<UINT>(durationMs), nullptr);
    if (timer == 0) {
        return;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == timer) {
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    KillTimer(nullptr, timer);
}
