// The console backend's event loop on Win32: each dialog's window is a
// message-only window (no screen, no taskbar), so its timers, the serial
// listener's posted notifications and the clicks of the console operator
// arrive as messages to it, exactly as to the operator's dialogs.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "ConsoleOperator.h"
#include "DialogEvents.h"
#include "DialogWindow.h"
#include "LoopWindow.h"
#include "PlatformMessageBox.h"

namespace {

constexpr const wchar_t* kWindowClass = L"Ziron7ConsoleDialog";
// Messages of the stand-in itself, below the registered ones (0xC000 up)
// that the serial listener posts.
constexpr UINT kPressMessage = WM_APP + 1;  // wParam: the button's id
constexpr UINT kWorkMessage = WM_APP + 2;   // lParam: a std::function<void()> to run and delete

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

class MessageWindowEvents final : public DialogEvents {
public:
    explicit MessageWindowEvents(DialogWindow& window) : m_handle(CreateMessageWindow(&window)) {}
    ~MessageWindowEvents() override {
        // Its timers and the messages still queued for it go with it.
        if (m_handle != nullptr) {
            DestroyWindow(m_handle);
        }
    }

    HWND Handle() const override { return m_handle; }

    bool StartTimer(UINT_PTR id, UINT periodMs) override {
        return ::SetTimer(m_handle, id, periodMs, nullptr) != 0;
    }

    void StopTimer(UINT_PTR id) override { ::KillTimer(m_handle, id); }

    void Press(int controlId) override {
        PostMessageW(m_handle, kPressMessage, static_cast<WPARAM>(controlId), 0);
    }

    void Run() override {
        MSG message;
        while (!m_finished && GetMessageW(&message, nullptr, 0, 0) > 0) {
            DeliverOne(message);
        }
    }

    void Finish() override { m_finished = true; }

private:
    HWND m_handle;
    bool m_finished = false;
};

}  // namespace

std::unique_ptr<DialogEvents> MakeDialogEvents(DialogWindow& window) {
    return std::make_unique<MessageWindowEvents>(window);
}

bool EventLoopExists() {
    return g_loopWindow != nullptr;
}

void CreateConsoleLoopWindow() {
    if (g_loopWindow == nullptr) {
        g_loopWindow = CreateWorkWindow();
    }
}

HWND CreateWorkWindow() {
    return CreateMessageWindow(nullptr);
}

void PostWork(HWND window, std::function<void()> work) {
    auto* posted = new std::function<void()>(std::move(work));
    if (window == nullptr ||
        PostMessageW(window, kWorkMessage, 0, reinterpret_cast<LPARAM>(posted)) == FALSE) {
        delete posted;
    }
}

void DestroyWorkWindow(HWND window) {
    MSG message;
    while (PeekMessageW(&message, window, kWorkMessage, kWorkMessage, PM_REMOVE)) {
        delete reinterpret_cast<std::function<void()>*>(message.lParam);
    }
    DestroyWindow(window);
}

void PostToConsoleLoop(std::function<void()> work) {
    if (g_loopWindow != nullptr) {
        PostWork(g_loopWindow, std::move(work));
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
