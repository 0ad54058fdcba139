// The console backend's event loop on Win32: each dialog's window is a
// message-only window (no screen, no taskbar), so its timers, the serial
// listener's posted notifications and the clicks of the console operator
// arrive as messages to it, exactly as to the operator's dialogs.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "ConsoleOperator.h"
#include "DialogWindow.h"
#include "LoopWindow.h"
#include "PlatformMessageBox.h"

namespace {

constexpr const wchar_t* kWindowClass = L"Ziron7ConsoleDialog";
// Messages of the stand-in itself, below the registered ones (0xC000 up)
// that the serial listener posts.
constexpr UINT kPressMessage = WM_APP + 1;  // wParam: the button's id
constexpr UINT kWorkMessage = WM_APP + 2;   // lParam: a std::function<void()> to run and delete

// The shortest timer period: the system's own minimum.
constexpr UINT kShortestTimerPeriodMs = USER_TIMER_MINIMUM;

HWND g_loopWindow = nullptr;  // the application's own, for PostToConsoleLoop

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == kWorkMessage) {
        std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()>*>(lParam));
        (*work)();
        return 0;
    }
    if (dialog == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_TIMER) {
        dialog->OnTimer(wParam);
        return 0;
    }
    if (message == kPressMessage) {
        dialog->OnPress(static_cast<int>(wParam));
        return 0;
    }
    if (message >= WM_USER) {
        dialog->OnPosted(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateMessageWindow(DialogWindow* dialog) {
    static const ATOM windowClass = [] {
        WNDCLASSW description{};
        description.lpfnWndProc = &Procedure;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = kWindowClass;
        return RegisterClassW(&description);
    }();
    if (windowClass == 0) {
        return nullptr;
    }
    HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
    }
    return window;
}

void DeliverOne(const MSG& message) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

struct DialogWindow::Events {
    explicit Events(DialogWindow& window) : m_handle(CreateMessageWindow(&window)) {}
    ~Events() {
        // Its timers and the messages still queued for it go with it.
        if (m_handle != nullptr) {
            DestroyWindow(m_handle);
        }
    }

    HWND m_handle;
    std::map<UINT_PTR, bool> m_timers;  // running or not, by id
    bool m_finished = false;
};

DialogWindow::DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate)
    : m_owner(owner),
      m_items(MakeDialogItems(owner, dialogTemplate)),
      m_events(std::make_unique<Events>(*this)) {}

DialogWindow::~DialogWindow() = default;

HWND DialogWindow::Handle() const {
    return m_events->m_handle;
}

void DialogWindow::StartTimer(UINT_PTR id, UINT periodMs) {
    ::SetTimer(m_events->m_handle, id, std::max(periodMs, kShortestTimerPeriodMs), nullptr);
    m_events->m_timers[id] = true;
}

bool DialogWindow::StopTimer(UINT_PTR id) {
    const auto it = m_events->m_timers.find(id);
    if (it == m_events->m_timers.end() || !it->second) {
        return false;
    }
    ::KillTimer(m_events->m_handle, id);
    it->second = false;
    return true;
}

void DialogWindow::Press(int controlId) {
    PostMessageW(m_events->m_handle, kPressMessage, static_cast<WPARAM>(controlId), 0);
}

void DialogWindow::Run() {
    MSG message;
    while (!m_events->m_finished && GetMessageW(&message, nullptr, 0, 0) > 0) {
        DeliverOne(message);
    }
}

void DialogWindow::Finish() {
    m_events->m_finished = true;
}

bool DialogWindow::EventLoopExists() {
    return g_loopWindow != nullptr;
}

void CreateConsoleLoopWindow() {
    if (g_loopWindow == nullptr) {
        g_loopWindow = CreateMessageWindow(nullptr);
    }
}

void PostToConsoleLoop(std::function<void()> work) {
    if (g_loopWindow == nullptr) {
        return;
    }
    auto* posted = new std::function<void()>(std::move(work));
    if (PostMessageW(g_loopWindow, kWorkMessage, 0, reinterpret_cast<LPARAM>(posted)) == FALSE) {
        delete posted;
    }
}

void KeepEventsRunningFor(int durationMs) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(durationMs, 0));
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DeliverOne(message);
        }
    }
}
